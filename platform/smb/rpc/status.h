// The Windows error codes that the remote registry client returns for
// failures of the RPC layer itself, and the translation of the status that
// a server puts into a fault PDU.
//
// What the client returns, by cause:
//   the registry's own answer (WERROR)   passed through unchanged (2, 5, 234, 259, ...)
//   the pipe's own failure               passed through (109 broken pipe, 1460 timeout, ...)
//   malformed PDU or framing             RPC_S_PROTOCOL_ERROR (1728)
//   malformed stub data in a reply       RPC_X_BAD_STUB_DATA (1783)
//   a reply larger than the client caps  RPC_S_PROTOCOL_ERROR (1728)
//   a name or data beyond the room that  RPC_S_PROTOCOL_ERROR (1728) for that call alone;
//   the request offered, a key name      the reply was read whole, so the association
//   beyond 255 characters                stays in step
//   a value larger than the value cap    ERROR_NOT_ENOUGH_MEMORY (8), its size still readable
//   bind refused (bind_nak)              RPC_S_SERVER_TOO_BUSY (1723) for congestion, else
//                                        RPC_S_PROTOCOL_ERROR (1728) for a version the server
//                                        refuses, else RPC_S_CALL_FAILED_DNE (1727)
//   interface refused in the bind_ack    RPC_S_UNKNOWN_IF (1717), or
//                                        RPC_S_UNSUPPORTED_TRANS_SYN (1730) for the transfer syntax
//   fault PDU                            see FaultToWindowsError
// After a protocol error, a pipe error or a refused bind the association
// cannot be trusted to be in step, so every later call on it fails with the
// same code without touching the pipe.
#pragma once

#include <cstdint>

#include "platform/windows_api.h"

namespace rpc {

constexpr DWORD kRpcServerUnavailable = 1722;          // RPC_S_SERVER_UNAVAILABLE
constexpr DWORD kRpcServerTooBusy = 1723;              // RPC_S_SERVER_TOO_BUSY
constexpr DWORD kRpcUnknownInterface = 1717;           // RPC_S_UNKNOWN_IF
constexpr DWORD kRpcCallFailed = 1726;                 // RPC_S_CALL_FAILED
constexpr DWORD kRpcCallFailedNotExecuted = 1727;      // RPC_S_CALL_FAILED_DNE
constexpr DWORD kRpcProtocolError = 1728;              // RPC_S_PROTOCOL_ERROR
constexpr DWORD kRpcUnsupportedTransferSyntax = 1730;  // RPC_S_UNSUPPORTED_TRANS_SYN
constexpr DWORD kRpcUnsupportedType = 1732;            // RPC_S_UNSUPPORTED_TYPE
constexpr DWORD kRpcProcedureOutOfRange = 1745;        // RPC_S_PROCNUM_OUT_OF_RANGE
constexpr DWORD kRpcCallCancelled = 1818;              // RPC_S_CALL_CANCELLED
constexpr DWORD kRpcBadStubData = 1783;                // RPC_X_BAD_STUB_DATA
constexpr DWORD kRpcInvalidBound = 1734;               // RPC_S_INVALID_BOUND
constexpr DWORD kRpcZeroDivide = 1767;                 // RPC_S_ZERO_DIVIDE
constexpr DWORD kRpcAddressError = 1768;               // RPC_S_ADDRESS_ERROR
constexpr DWORD kRpcInvalidTag = 1733;                 // RPC_S_INVALID_TAG

// The status of a fault PDU as a Windows error code. Windows servers put
// Windows codes there directly (5, 0x6F7, ...): a status below 0x10000
// passes through. The DCE nca_s_* codes are translated:
//   nca_s_fault_int_div_by_zero   0x1C000001  1767 RPC_S_ZERO_DIVIDE
//   nca_s_fault_addr_error        0x1C000002  1768 RPC_S_ADDRESS_ERROR
//   nca_s_fault_invalid_tag       0x1C000006  1733 RPC_S_INVALID_TAG
//   nca_s_fault_invalid_bound     0x1C000007  1734 RPC_S_INVALID_BOUND
//   nca_s_fault_cancel            0x1C00000D  1818 RPC_S_CALL_CANCELLED
//   nca_s_fault_context_mismatch  0x1C00001A     6 ERROR_INVALID_HANDLE
//   nca_s_fault_remote_no_memory  0x1C00001B     8 ERROR_NOT_ENOUGH_MEMORY
//   nca_s_op_rng_error            0x1C010002  1745 RPC_S_PROCNUM_OUT_OF_RANGE
//   nca_s_unk_if                  0x1C010003  1717 RPC_S_UNKNOWN_IF
//   nca_s_proto_error             0x1C01000B  1728 RPC_S_PROTOCOL_ERROR
//   nca_s_server_too_busy         0x1C010014  1723 RPC_S_SERVER_TOO_BUSY
//   nca_s_unsupported_type        0x1C010017  1732 RPC_S_UNSUPPORTED_TYPE
//   zero, or any other code                   1726 RPC_S_CALL_FAILED
DWORD FaultToWindowsError(std::uint32_t status);

}  // namespace rpc
