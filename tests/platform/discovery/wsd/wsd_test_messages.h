// Replies as WS-Discovery responders send them, for the tests: in wsdd's
// form (no XAddrs in ProbeMatches, MetadataVersion 1, NAME/Workgroup:WG)
// and in Windows' (XAddrs with a trailing slash, MetadataVersion above 1,
// other prefixes, AppSequence), as captured and as Microsoft documents
// them.
#pragma once

#include <string>

namespace discovery::wsd::testing {

enum class Form { kWsdd, kWindows };

struct MatchReply {
  std::string MessageId = "urn:uuid:0f5c2a31-88e4-4d1f-a7f0-2d6b8f1e9a01";
  std::string RelatesTo;
  std::string Endpoint = "urn:uuid:11111111-2222-3333-4444-555555555555";
  std::string Types = "wsdp:Device pub:Computer";
  std::string TransportAddresses{};  // empty: no XAddrs element
  bool Resolve = false;              // a ResolveMatches, not a ProbeMatches
};

std::string MatchMessage(const MatchReply& reply, Form form);

// The Get's reply: the metadata of a computer whose pub:Computer holds
// `computer`.
std::string MetadataMessage(const std::string& computer, Form form);

}  // namespace discovery::wsd::testing
