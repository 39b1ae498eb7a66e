#include "platform/smb/rpc/pdu.h"

#include <algorithm>

#include "platform/smb/rpc/status.h"

namespace rpc {
namespace {

// rpc_vers and rpc_vers_minor.
constexpr std::uint8_t kVersion = 5;
constexpr std::uint8_t kVersionMinor = 0;
// packed_drep: little-endian integers, ASCII characters, IEEE floating
// point. The integer representation is the high half of its first byte.
constexpr std::array<std::uint8_t, 4> kDataRepresentation{0x10, 0, 0, 0};
constexpr std::uint8_t kIntegerRepresentation = 0xF0;
constexpr std::uint8_t kLittleEndian = 0x10;

// Where the common header keeps its fields.
constexpr std::size_t kTypeOffset = 2;
constexpr std::size_t kFlagsOffset = 3;
constexpr std::size_t kDataRepresentationOffset = 4;
constexpr std::size_t kFragmentLengthOffset = 8;
constexpr std::size_t kAuthLengthOffset = 10;
constexpr std::size_t kCallIdOffset = 12;

// bind_nak's provider_reject_reason (C706 p_reject_reason_t).
enum RejectReason : std::uint16_t {
  kReasonNotSpecified = 0,
  kTemporaryCongestion = 1,
  kLocalLimitExceeded = 2,
  kProtocolVersionNotSupported = 4,
};

// A bind_ack's result for a presentation context (p_cont_def_result_t),
// and the reason of a provider's rejection (p_provider_reason_t).
constexpr std::uint16_t kAcceptance = 0;
constexpr std::uint16_t kProposedTransferSyntaxesNotSupported = 2;

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutHeader(std::vector<std::uint8_t>& out, PduType type, std::uint8_t flags, std::uint32_t call_id) {
  out.push_back(kVersion);
  out.push_back(kVersionMinor);
  out.push_back(static_cast<std::uint8_t>(type));
  out.push_back(flags);
  out.insert(out.end(), kDataRepresentation.begin(), kDataRepresentation.end());
  PutU16(out, 0);  // fragment length, set when the PDU is complete
  PutU16(out, 0);  // no authentication
  PutU32(out, call_id);
}

void SetFragmentLength(std::vector<std::uint8_t>& pdu) {
  pdu[kFragmentLengthOffset] = static_cast<std::uint8_t>(pdu.size());
  pdu[kFragmentLengthOffset + 1] = static_cast<std::uint8_t>(pdu.size() >> 8);
}

void PutSyntax(std::vector<std::uint8_t>& out, const SyntaxId& syntax) {
  out.insert(out.end(), syntax.Uuid.begin(), syntax.Uuid.end());
  PutU32(out, syntax.Version);
}

DWORD BindRejection(std::uint16_t reject_reason) {
  switch (reject_reason) {
    case kTemporaryCongestion:
    case kLocalLimitExceeded:
      return kRpcServerTooBusy;
    case kProtocolVersionNotSupported:
      return kRpcProtocolError;
    default:
      return kRpcCallFailedNotExecuted;
  }
}

}  // namespace

// 8A885D04-1CEB-11C9-9FE8-08002B104860 version 2
const SyntaxId kNdrSyntax{
    {0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11, 0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60}, 2};

std::uint16_t FragmentLength(std::span<const std::uint8_t> header) {
  const std::uint8_t low = header[kFragmentLengthOffset];
  const std::uint8_t high = header[kFragmentLengthOffset + 1];
  const bool little_endian = (header[kDataRepresentationOffset] & kIntegerRepresentation) != 0;
  return little_endian ? static_cast<std::uint16_t>(low | high << 8) : static_cast<std::uint16_t>(low << 8 | high);
}

DWORD ParseHeader(std::span<const std::uint8_t> bytes, std::size_t max_fragment, PduHeader& header) {
  if (bytes.size() < kCommonHeaderSize) return kRpcProtocolError;
  if (bytes[0] != kVersion || bytes[1] != kVersionMinor) return kRpcProtocolError;
  // Integers must be little-endian, as the client asked; the character and
  // floating-point formats do not matter to the registry's replies.
  if ((bytes[kDataRepresentationOffset] & kIntegerRepresentation) != kLittleEndian) return kRpcProtocolError;
  const std::uint16_t fragment_length = FragmentLength(bytes);
  if (ReadU16(bytes, kAuthLengthOffset) != 0) return kRpcProtocolError;
  if (fragment_length < kCommonHeaderSize || fragment_length > max_fragment) return kRpcProtocolError;
  header.Type = static_cast<PduType>(bytes[kTypeOffset]);
  header.Flags = bytes[kFlagsOffset];
  header.FragmentLength = fragment_length;
  header.CallId = ReadU32(bytes, kCallIdOffset);
  return NO_ERROR;
}

std::vector<std::uint8_t> EncodeBind(std::uint32_t call_id, const SyntaxId& interface_syntax) {
  std::vector<std::uint8_t> pdu;
  PutHeader(pdu, PduType::kBind, kPfcFirstFrag | kPfcLastFrag, call_id);
  PutU16(pdu, kOfferedFragmentSize);  // max_xmit_frag
  PutU16(pdu, kOfferedFragmentSize);  // max_recv_frag
  PutU32(pdu, 0);                     // assoc_group_id: a new association group
  pdu.push_back(1);                   // p_context_elem: n_context_elem, one context
  pdu.push_back(0);                   // reserved
  PutU16(pdu, 0);
  PutU16(pdu, 0);    // p_cont_id
  pdu.push_back(1);  // n_transfer_syn: one transfer syntax
  pdu.push_back(0);  // reserved
  PutSyntax(pdu, interface_syntax);
  PutSyntax(pdu, kNdrSyntax);
  SetFragmentLength(pdu);
  return pdu;
}

DWORD ParseBindReply(std::span<const std::uint8_t> fragment, std::uint32_t call_id, BindAgreement& agreement) {
  PduHeader header;
  if (const DWORD status = ParseHeader(fragment, fragment.size(), header); status != NO_ERROR) return status;
  if (header.FragmentLength != fragment.size() || header.CallId != call_id) return kRpcProtocolError;
  if (header.Type == PduType::kBindNak) {
    // provider_reject_reason follows the common header.
    if (fragment.size() < kCommonHeaderSize + 2) return kRpcProtocolError;
    return BindRejection(ReadU16(fragment, kCommonHeaderSize));
  }
  if (header.Type != PduType::kBindAck) return kRpcProtocolError;
  // max_xmit_frag, max_recv_frag, assoc_group_id, then the secondary
  // address (its length and its bytes), padded to 4 bytes.
  std::size_t offset = kCommonHeaderSize;
  if (fragment.size() < offset + 10) return kRpcProtocolError;
  const std::uint16_t server_transmit = ReadU16(fragment, offset);
  const std::uint16_t server_receive = ReadU16(fragment, offset + 2);
  const std::uint16_t address_length = ReadU16(fragment, offset + 8);
  offset += 10 + address_length;
  offset = (offset + 3) & ~std::size_t{3};
  // The result list: n_results and three bytes of padding, then each
  // result, its reason and its transfer syntax (24 bytes).
  if (fragment.size() < offset + 4) return kRpcProtocolError;
  const std::uint8_t result_count = fragment[offset];
  offset += 4;
  if (result_count == 0 || fragment.size() < offset + 24) return kRpcProtocolError;
  const std::uint16_t result = ReadU16(fragment, offset);
  const std::uint16_t reason = ReadU16(fragment, offset + 2);
  if (result != kAcceptance) {
    return reason == kProposedTransferSyntaxesNotSupported ? kRpcUnsupportedTransferSyntax : kRpcUnknownInterface;
  }
  if (!std::equal(kNdrSyntax.Uuid.begin(), kNdrSyntax.Uuid.end(), fragment.begin() + offset + 4)) {
    return kRpcUnsupportedTransferSyntax;
  }
  if (server_transmit < kSmallestFragmentSize || server_receive < kSmallestFragmentSize) return kRpcProtocolError;
  agreement.MaxTransmit = std::min(server_receive, kOfferedFragmentSize);
  agreement.MaxReceive = kOfferedFragmentSize;
  return NO_ERROR;
}

std::vector<std::vector<std::uint8_t>> EncodeRequest(std::uint32_t call_id, std::uint16_t opnum,
                                                     std::span<const std::uint8_t> stub, std::size_t max_transmit) {
  // Every fragment but the last carries a multiple of 8 stub bytes, so that
  // the stub's alignment is the same in each.
  const std::size_t room = std::max<std::size_t>((max_transmit - kRequestHeaderSize) & ~std::size_t{7}, 8);
  std::vector<std::vector<std::uint8_t>> fragments;
  std::size_t offset = 0;
  do {
    const std::size_t part = std::min(room, stub.size() - offset);
    std::uint8_t flags = 0;
    if (offset == 0) flags |= kPfcFirstFrag;
    if (offset + part == stub.size()) flags |= kPfcLastFrag;
    std::vector<std::uint8_t> pdu;
    pdu.reserve(kRequestHeaderSize + part);
    PutHeader(pdu, PduType::kRequest, flags, call_id);
    PutU32(pdu, static_cast<std::uint32_t>(stub.size() - offset));  // alloc_hint
    PutU16(pdu, 0);                                                 // p_cont_id
    PutU16(pdu, opnum);
    pdu.insert(pdu.end(), stub.begin() + static_cast<std::ptrdiff_t>(offset),
               stub.begin() + static_cast<std::ptrdiff_t>(offset + part));
    SetFragmentLength(pdu);
    fragments.push_back(std::move(pdu));
    offset += part;
  } while (offset < stub.size());
  return fragments;
}

ResponseAssembler::Progress ResponseAssembler::Fail(DWORD error, bool desynchronized) {
  error_ = error;
  desynchronized_ = desynchronized;
  stub_.clear();
  return Progress::kFailed;
}

ResponseAssembler::Progress ResponseAssembler::Add(std::span<const std::uint8_t> fragment) {
  if (error_ != NO_ERROR) return Progress::kFailed;
  PduHeader header;
  if (ParseHeader(fragment, max_fragment_, header) != NO_ERROR || header.FragmentLength != fragment.size() ||
      header.CallId != call_id_) {
    return Fail(kRpcProtocolError, true);
  }
  received_ += fragment.size();
  if (received_ > kMaxResponseBytes) return Fail(kRpcProtocolError, true);
  if (header.Type == PduType::kFault) {
    if (fragment.size() < kResponseHeaderSize + 4) return Fail(kRpcProtocolError, true);
    // A fault that ends the call leaves the association in step; one in the
    // middle of a response does not. Its status follows the header.
    const bool whole = (header.Flags & kPfcLastFrag) != 0;
    return Fail(FaultToWindowsError(ReadU32(fragment, kResponseHeaderSize)), !whole);
  }
  if (header.Type != PduType::kResponse || fragment.size() < kResponseHeaderSize) {
    return Fail(kRpcProtocolError, true);
  }
  const bool first = (header.Flags & kPfcFirstFrag) != 0;
  if (first == started_) return Fail(kRpcProtocolError, true);
  started_ = true;
  stub_.insert(stub_.end(), fragment.begin() + kResponseHeaderSize, fragment.end());
  return (header.Flags & kPfcLastFrag) != 0 ? Progress::kComplete : Progress::kNeedMore;
}

}  // namespace rpc
