#include "platform/discovery/wsd/soap_envelopes.h"

#include <array>
#include <cstdint>
#include <random>

#include "platform/discovery/wsd/wsd_protocol.h"
#include "platform/discovery/wsd/xml_document.h"

namespace discovery::wsd {
namespace {

std::string Envelope(std::string_view action, std::string_view to, std::string_view message_id, std::string_view body,
                     bool reply_to_anonymous) {
  std::string message;
  message.reserve(1024);
  message += R"(<?xml version="1.0" encoding="utf-8"?>)";
  message += R"(<soap:Envelope xmlns:soap=")";
  message += kSoapNamespace;
  message += R"(" xmlns:wsa=")";
  message += kAddressingNamespace;
  message += R"(" xmlns:wsd=")";
  message += kDiscoveryNamespace;
  message += R"(" xmlns:wsdp=")";
  message += kDevicesNamespace;
  message += R"(">)";
  message += "<soap:Header><wsa:To>";
  message += EscapedText(to);
  message += "</wsa:To><wsa:Action>";
  message += action;
  message += "</wsa:Action><wsa:MessageID>";
  message += EscapedText(message_id);
  message += "</wsa:MessageID>";
  if (reply_to_anonymous) {
    message += "<wsa:ReplyTo><wsa:Address>";
    message += kAnonymousAddress;
    message += "</wsa:Address></wsa:ReplyTo>";
  }
  message += "</soap:Header><soap:Body>";
  message += body;
  message += "</soap:Body></soap:Envelope>";
  return message;
}

}  // namespace

std::string NewMessageId() {
  std::random_device source;
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    const std::uint32_t word = source();
    for (std::size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id = "urn:uuid:";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += kHex[bytes[i] >> 4];
    id += kHex[bytes[i] & 0x0F];
  }
  return id;
}

std::string ProbeMessage(std::string_view message_id) {
  return Envelope(kProbeAction, kDiscoveryTo, message_id, "<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>",
                  false);
}

std::string ResolveMessage(std::string_view message_id, std::string_view endpoint_address) {
  const std::string body = "<wsd:Resolve><wsa:EndpointReference><wsa:Address>" + EscapedText(endpoint_address) +
                           "</wsa:Address></wsa:EndpointReference></wsd:Resolve>";
  return Envelope(kResolveAction, kDiscoveryTo, message_id, body, false);
}

std::string GetMessage(std::string_view message_id, std::string_view endpoint_address) {
  return Envelope(kGetAction, endpoint_address, message_id, "", true);
}

}  // namespace discovery::wsd
