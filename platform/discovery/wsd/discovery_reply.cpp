#include "platform/discovery/wsd/discovery_reply.h"

#include "platform/discovery/wsd/wsd_protocol.h"
#include "platform/discovery/wsd/xml_document.h"

namespace discovery::wsd {
namespace {

// The items of an XML list (xs:list): separated by white space.
std::vector<std::string_view> ListItems(std::string_view text) {
  std::vector<std::string_view> items;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsXmlSpace(text[at])) ++at;
    const std::size_t begin = at;
    while (at < text.size() && !IsXmlSpace(text[at])) ++at;
    if (at > begin) items.push_back(text.substr(begin, at - begin));
  }
  return items;
}

// Reads one ProbeMatch or ResolveMatch; false when it names no valid
// endpoint.
bool ReadMatch(XmlNode match, DeviceMatch& device) {
  const XmlNode reference = FirstChild(match, kAddressingNamespace, "EndpointReference");
  device.EndpointAddress = TrimmedText(FirstChild(reference, kAddressingNamespace, "Address"));
  if (!IsPrintableToken(device.EndpointAddress, kMaxEndpointAddressBytes)) return false;
  const XmlNode types = FirstChild(match, kDiscoveryNamespace, "Types");
  const std::string type_list = TrimmedText(types);
  for (const std::string_view type : ListItems(type_list)) {
    if (QNameIs(types, type, kPublicationNamespace, "Computer")) device.IsComputer = true;
  }
  const std::string address_list = TrimmedText(FirstChild(match, kDiscoveryNamespace, "XAddrs"));
  for (const std::string_view address : ListItems(address_list)) {
    if (device.TransportAddresses.size() == kMaxAddressesPerDevice) break;
    if (IsPrintableToken(address, kMaxTransportAddressBytes)) device.TransportAddresses.emplace_back(address);
  }
  return true;
}

}  // namespace

bool IsPrintableToken(std::string_view text, std::size_t most) {
  if (text.empty() || text.size() > most) return false;
  for (const char c : text) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

std::optional<DiscoveryReply> ParseDiscoveryReply(std::string_view datagram, std::string& refusal) {
  if (datagram.size() > kMaxDatagramBytes) {
    refusal = "it is larger than " + std::to_string(kMaxDatagramBytes / 1024) + " KiB";
    return std::nullopt;
  }
  const std::unique_ptr<XmlDocument> document = XmlDocument::Parse(datagram, refusal);
  if (document == nullptr) return std::nullopt;
  const XmlNode envelope = document->Root();
  if (!IsElement(envelope, kSoapNamespace, "Envelope")) {
    refusal = "it is not a SOAP 1.2 envelope";
    return std::nullopt;
  }
  const XmlNode header = FirstChild(envelope, kSoapNamespace, "Header");
  const XmlNode body = FirstChild(envelope, kSoapNamespace, "Body");
  const std::string action = TrimmedText(FirstChild(header, kAddressingNamespace, "Action"));
  DiscoveryReply reply;
  const char* list_name = nullptr;
  const char* match_name = nullptr;
  if (action == kProbeMatchesAction) {
    reply.Kind = ReplyKind::kProbeMatches;
    list_name = "ProbeMatches";
    match_name = "ProbeMatch";
  } else if (action == kResolveMatchesAction) {
    reply.Kind = ReplyKind::kResolveMatches;
    list_name = "ResolveMatches";
    match_name = "ResolveMatch";
  } else {
    refusal = "it is neither ProbeMatches nor ResolveMatches";
    return std::nullopt;
  }
  reply.MessageId = TrimmedText(FirstChild(header, kAddressingNamespace, "MessageID"));
  reply.RelatesTo = TrimmedText(FirstChild(header, kAddressingNamespace, "RelatesTo"));
  if (!IsPrintableToken(reply.MessageId, kMaxEndpointAddressBytes) ||
      !IsPrintableToken(reply.RelatesTo, kMaxEndpointAddressBytes)) {
    refusal = "it has no valid MessageID or RelatesTo";
    return std::nullopt;
  }
  const XmlNode list = FirstChild(body, kDiscoveryNamespace, list_name);
  if (list == nullptr) {
    refusal = std::string("its body holds no ") + list_name;
    return std::nullopt;
  }
  // An empty list is a reply that matches nothing, as a discovery proxy
  // may send.
  bool any = false;
  for (XmlNode match = FirstChild(list, kDiscoveryNamespace, match_name); match != nullptr;
       match = NextSibling(match, kDiscoveryNamespace, match_name)) {
    if (reply.Matches.size() == kMaxMatchesPerReply) break;
    any = true;
    DeviceMatch device;
    if (ReadMatch(match, device)) reply.Matches.push_back(std::move(device));
  }
  if (any && reply.Matches.empty()) {
    refusal = std::string("it holds no ") + match_name + " with a valid endpoint address";
    return std::nullopt;
  }
  return reply;
}

}  // namespace discovery::wsd
