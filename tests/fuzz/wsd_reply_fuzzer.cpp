// Feeds arbitrary bytes to WS-Discovery's reply handling: as a datagram
// that may be a ProbeMatches or ResolveMatches, as the metadata that a Get
// returns, as pub:Computer's text, and (its first line) as a transport
// address for the metadata URL. None may crash, hang or read out of
// bounds, and whatever is taken must keep the limits that the parsers
// promise to the rest of discovery.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/discovery/wsd/computer_metadata.h"
#include "platform/discovery/wsd/discovery_reply.h"
#include "platform/discovery/wsd/metadata_requests.h"

namespace {

using namespace discovery::wsd;

void Require(bool holds) {
  if (!holds) std::abort();
}

void CheckIdentity(const std::optional<ComputerIdentity>& identity) {
  if (!identity) return;
  std::string refusal;
  Require(IsValidName(identity->Name, refusal));
  Require(IsValidName(identity->Container, refusal));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string refusal;

  if (const std::optional<DiscoveryReply> reply = ParseDiscoveryReply(bytes, refusal)) {
    Require(size <= kMaxDatagramBytes);
    Require(reply->Matches.size() <= kMaxMatchesPerReply);
    for (const DeviceMatch& match : reply->Matches) {
      Require(IsPrintableToken(match.EndpointAddress, kMaxEndpointAddressBytes));
      Require(match.TransportAddresses.size() <= kMaxAddressesPerDevice);
      for (const std::string& address : match.TransportAddresses) {
        Require(!address.empty() && address.size() <= kMaxTransportAddressBytes);
        static_cast<void>(MetadataUrl(address, "192.0.2.7"));
        static_cast<void>(MetadataUrl(address, "fe80::1%eth0"));
      }
    }
  }

  const std::optional<ComputerIdentity> identity = ParseComputerMetadata(bytes, refusal);
  if (identity) Require(size <= kMaxMetadataBytes);
  CheckIdentity(identity);
  CheckIdentity(ParsePublishedComputer(bytes, refusal));

  const std::string_view first_line = bytes.substr(0, bytes.find('\n'));
  if (const std::optional<std::string> url = MetadataUrl(first_line, "192.0.2.7")) {
    // The request goes to the address that answered, whatever the reply
    // names.
    const std::string_view prefix = "http://192.0.2.7";
    Require(url->starts_with(prefix) &&
            (url->size() == prefix.size() || (*url)[prefix.size()] == ':' || (*url)[prefix.size()] == '/'));
  }
  return 0;
}
