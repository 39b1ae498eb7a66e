// The messages that the WS-Discovery client sends, as SOAP 1.2 envelopes:
// the Probe for devices (multicast), the Resolve of one device's endpoint
// address to its transport addresses (multicast), and the WS-Transfer Get
// of a device's metadata (HTTP). Each carries a MessageID of its own, a
// fresh urn:uuid: that the replies name in RelatesTo.
#pragma once

#include <string>
#include <string_view>

namespace discovery::wsd {

// A random (version 4) UUID as a URN: urn:uuid:xxxxxxxx-xxxx-4xxx-yxxx-...
std::string NewMessageId();

// A Probe for devices: its types are exactly wsdp:Device, which Windows
// and wsdd answer (a probe for pub:Computer, or for no type, they ignore).
std::string ProbeMessage(std::string_view message_id);

// A Resolve of `endpoint_address` (printable ASCII, as replies give it).
std::string ResolveMessage(std::string_view message_id, std::string_view endpoint_address);

// A Get of the metadata of the device at `endpoint_address`.
std::string GetMessage(std::string_view message_id, std::string_view endpoint_address);

}  // namespace discovery::wsd
