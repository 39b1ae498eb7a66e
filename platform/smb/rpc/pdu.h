// The connection-oriented DCE/RPC PDUs that a client sends and receives:
// bind, bind_ack and bind_nak to set up an association, then request,
// response and fault for each call. Every PDU starts with a 16-byte common
// header (version 5.0, type, flags, data representation, fragment length,
// authentication length, call id); all integers are little-endian, as the
// client announces in its data representation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/windows_api.h"

namespace smb {

enum class PduType : std::uint8_t {
  kRequest = 0,
  kResponse = 2,
  kFault = 3,
  kBind = 11,
  kBindAck = 12,
  kBindNak = 13,
};

constexpr std::uint8_t kFirstFragment = 0x01;
constexpr std::uint8_t kLastFragment = 0x02;

constexpr std::size_t kCommonHeaderSize = 16;
constexpr std::size_t kRequestHeaderSize = 24;
constexpr std::size_t kResponseHeaderSize = 24;
constexpr std::size_t kFaultBodySize = 32;

// The fragment sizes that the client offers in its bind; the server may
// lower them. A received fragment longer than the agreed size is refused.
constexpr std::uint16_t kOfferedFragmentSize = 5840;
// The smallest fragment size the client accepts from a bind_ack.
constexpr std::uint16_t kSmallestFragmentSize = 1024;

// An interface or transfer syntax: its UUID in the byte order of the wire
// and its version, major in the low 16 bits, minor in the high.
struct SyntaxId {
  std::array<std::uint8_t, 16> Uuid{};
  std::uint32_t Version = 0;
};

// winreg 1.0 and NDR 2.0.
extern const SyntaxId kWinregSyntax;
extern const SyntaxId kNdrSyntax;

struct PduHeader {
  PduType Type = PduType::kRequest;
  std::uint8_t Flags = 0;
  std::uint16_t FragmentLength = 0;
  std::uint32_t CallId = 0;
};

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
// fragment at the agreed receive size (checked by ParseHeader), the whole
// response at kMaxResponseBytes counted over whole fragments, so that a
// stream of empty fragments also ends.
class ResponseAssembler {
 public:
  static constexpr std::size_t kMaxResponseBytes = 2 * 1024 * 1024;

  enum class Progress { kNeedMore, kComplete, kFailed };

  explicit ResponseAssembler(std::uint32_t call_id) : call_id_(call_id) {}

  // Takes one whole fragment, already checked by ParseHeader. On
  // kFailed, Error() is the Windows code: a fault's translated status, or
  // RPC_S_PROTOCOL_ERROR for a fragment that does not belong.
  Progress Add(std::span<const std::uint8_t> fragment);

  DWORD Error() const { return error_; }
  // True when the failure leaves the association out of step (not a fault).
  bool Desynchronized() const { return desynchronized_; }
  std::vector<std::uint8_t>& Stub() { return stub_; }

 private:
  Progress Fail(DWORD error, bool desynchronized);

  std::uint32_t call_id_;
  std::vector<std::uint8_t> stub_;
  std::size_t received_ = 0;
  bool started_ = false;
  DWORD error_ = NO_ERROR;
  bool desynchronized_ = false;
};

}  // namespace smb
