#include "platform/smb/rpc/status.h"

#include <array>
#include <utility>

namespace rpc {

DWORD FaultToWindowsError(std::uint32_t status) {
  static constexpr std::array<std::pair<std::uint32_t, DWORD>, 12> kNcaCodes{{
      {0x1C000001, kRpcZeroDivide},
      {0x1C000002, kRpcAddressError},
      {0x1C000006, kRpcInvalidTag},
      {0x1C000007, kRpcInvalidBound},
      {0x1C00000D, kRpcCallCancelled},
      {0x1C00001A, ERROR_INVALID_HANDLE},
      {0x1C00001B, ERROR_NOT_ENOUGH_MEMORY},
      {0x1C010002, kRpcProcedureOutOfRange},
      {0x1C010003, kRpcUnknownInterface},
      {0x1C01000B, kRpcProtocolError},
      {0x1C010014, kRpcServerTooBusy},
      {0x1C010017, kRpcUnsupportedType},
  }};
  if (status != 0 && status < 0x10000) return status;
  for (const auto& [nca, windows] : kNcaCodes) {
    if (nca == status) return windows;
  }
  return kRpcCallFailed;
}

}  // namespace rpc
