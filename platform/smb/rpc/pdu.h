// The connection-oriented DCE/RPC PDUs that a client sends and receives
// (C706 chapter 12, as MS-RPCE uses it): bind, bind_ack and bind_nak to set
// up an association, then request, response and fault for each call. Every
// PDU starts with a 16-byte common header: rpc_vers 5, rpc_vers_minor 0,
// PTYPE, pfc_flags, packed_drep (the data representation), frag_length,
// auth_length and call_id. All integers are little-endian, as the client
// announces in its data representation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/windows_api.h"

namespace rpc {

// PTYPE: the PDUs that the client sends or accepts.
enum class PduType : std::uint8_t {
  kRequest = 0,
  kResponse = 2,
  kFault = 3,
  kBind = 11,
  kBindAck = 12,
  kBindNak = 13,
};

// pfc_flags: the first and the last fragment of a request or response.
constexpr std::uint8_t kPfcFirstFrag = 0x01;
constexpr std::uint8_t kPfcLastFrag = 0x02;

// The common header, and the headers of request and response PDUs (the
// common header, alloc_hint, p_cont_id, then opnum, or cancel_count and a
// reserved byte), after which the stub data follow. A fault PDU's header
// is a response's; its status follows it.
constexpr std::size_t kCommonHeaderSize = 16;
constexpr std::size_t kRequestHeaderSize = 24;
constexpr std::size_t kResponseHeaderSize = 24;

// The fragment sizes that the client offers in its bind; the server may
// lower them. A received fragment longer than the agreed size is refused.
constexpr std::uint16_t kOfferedFragmentSize = 5840;
// The smallest fragment size the client accepts from a bind_ack.
constexpr std::uint16_t kSmallestFragmentSize = 1024;

// An interface or transfer syntax (p_syntax_id_t): its UUID in the byte
// order of the wire and its version, major in the low 16 bits, minor in
// the high.
struct SyntaxId {
  std::array<std::uint8_t, 16> Uuid{};
  std::uint32_t Version = 0;
};

// The transfer syntax of every call: NDR 2.0.
extern const SyntaxId kNdrSyntax;

struct PduHeader {
  PduType Type = PduType::kRequest;
  std::uint8_t Flags = 0;
  std::uint16_t FragmentLength = 0;
  std::uint32_t CallId = 0;
};

// The frag_length of the common header at the start of `header` (at least
// kCommonHeaderSize bytes), in the byte order that its packed_drep names.
// What frames a stream of fragments, whatever else the header holds.
std::uint16_t FragmentLength(std::span<const std::uint8_t> header);

// Checks the common header at the start of `bytes` (at least 16 of them):
// version 5.0, little-endian integers, no authentication trailer, and a
// fragment length between the header size and `max_fragment`.
// RPC_S_PROTOCOL_ERROR otherwise.
DWORD ParseHeader(std::span<const std::uint8_t> bytes, std::size_t max_fragment, PduHeader& header);

std::vector<std::uint8_t> EncodeBind(std::uint32_t call_id, const SyntaxId& interface_syntax);

// What a bind_ack agreed: the fragment sizes in each direction, from the
// client's point of view.
struct BindAgreement {
  std::uint16_t MaxTransmit = 0;
  std::uint16_t MaxReceive = 0;
};

// Reads the server's answer to a bind, a whole fragment: a bind_ack whose
// first result accepts the presentation context gives NO_ERROR; a refusal
// or anything malformed gives the code of the table in status.h.
DWORD ParseBindReply(std::span<const std::uint8_t> fragment, std::uint32_t call_id, BindAgreement& agreement);

// Splits a request's stub into request fragments of at most
// `max_transmit` bytes each, the first flagged first, the last last.
std::vector<std::vector<std::uint8_t>> EncodeRequest(std::uint32_t call_id, std::uint16_t opnum,
                                                     std::span<const std::uint8_t> stub, std::size_t max_transmit);

// Joins the response fragments of one call into its stub. Caps: each
// fragment at the agreed receive size, the whole response at
// kMaxResponseBytes counted over whole fragments, so that a stream of empty
// fragments also ends.
class ResponseAssembler {
 public:
  static constexpr std::size_t kMaxResponseBytes = 2 * 1024 * 1024;

  enum class Progress { kNeedMore, kComplete, kFailed };

  ResponseAssembler(std::uint32_t call_id, std::size_t max_fragment) : call_id_(call_id), max_fragment_(max_fragment) {}

  // Takes what was read as one fragment: a fragment whose header gives
  // another length (one longer than the agreed size, say) does not belong.
  // On kFailed, Error() is the Windows code: a fault's translated status,
  // or RPC_S_PROTOCOL_ERROR for a fragment that does not belong.
  Progress Add(std::span<const std::uint8_t> fragment);

  DWORD Error() const { return error_; }
  // True when the failure leaves the association out of step (not a fault).
  bool Desynchronized() const { return desynchronized_; }
  std::vector<std::uint8_t>& Stub() { return stub_; }

 private:
  Progress Fail(DWORD error, bool desynchronized);

  std::uint32_t call_id_;
  std::size_t max_fragment_;
  std::vector<std::uint8_t> stub_;
  std::size_t received_ = 0;
  bool started_ = false;
  DWORD error_ = NO_ERROR;
  bool desynchronized_ = false;
};

}  // namespace rpc
