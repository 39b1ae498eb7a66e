// The replies that a WS-Discovery client reads from its UDP socket:
// ProbeMatches, which answer a Probe, and ResolveMatches, which answer a
// Resolve. Each names the message it answers (RelatesTo) and, for each
// device that matches, its endpoint address (the device's lasting
// identity, usually urn:uuid:...), its types and the transport addresses
// (XAddrs) at which its metadata can be asked for, when it gives them.
//
// Anything that breaks these rules is refused whole, with the reason:
// a datagram above kMaxDatagramBytes, XML that is not well-formed or holds
// a DTD, a SOAP envelope of another version, a missing MessageID or
// RelatesTo, an endpoint address that is empty, longer than
// kMaxEndpointAddressBytes or holds anything but printable ASCII. A device
// gives at most kMaxAddressesPerDevice XAddrs (the rest are dropped), a
// reply at most kMaxMatchesPerReply matches.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace discovery::wsd {

// A ProbeMatches datagram of a Windows computer is about 1.5 KiB.
inline constexpr std::size_t kMaxDatagramBytes = 32 * 1024;
inline constexpr std::size_t kMaxEndpointAddressBytes = 256;
inline constexpr std::size_t kMaxTransportAddressBytes = 512;
inline constexpr std::size_t kMaxAddressesPerDevice = 8;
inline constexpr std::size_t kMaxMatchesPerReply = 16;

enum class ReplyKind { kProbeMatches, kResolveMatches };

struct DeviceMatch {
  std::string EndpointAddress;
  // The device's types name pub:Computer: a computer that publishes
  // itself, as Windows and wsdd do (a printer does not).
  bool IsComputer = false;
  // Its XAddrs, in the order given; empty when it gave none.
  std::vector<std::string> TransportAddresses;
};

struct DiscoveryReply {
  ReplyKind Kind = ReplyKind::kProbeMatches;
  std::string MessageId;
  std::string RelatesTo;
  std::vector<DeviceMatch> Matches;
};

// Reads one datagram. nullopt, with `refusal` saying why, for a datagram
// that is not a ProbeMatches or ResolveMatches reply by the rules above.
std::optional<DiscoveryReply> ParseDiscoveryReply(std::string_view datagram, std::string& refusal);

// True for text that the messages may carry back and a message may quote
// as it is: 1 to `most` bytes, each printable ASCII (0x21 to 0x7E).
bool IsPrintableToken(std::string_view text, std::size_t most);

}  // namespace discovery::wsd
