// The names and numbers of WS-Discovery as Windows speaks it: the 2005/04
// version of WS-Discovery over SOAP 1.2 and SOAP-over-UDP, WS-Addressing
// 2004/08, the Devices Profile for Web Services (2006/02) with WS-Transfer
// Get and WS-MetadataExchange for a device's metadata, and the computer that
// a device stands for, in Microsoft's Publication Services Data Structure.
#pragma once

#include <cstdint>

namespace discovery::wsd {

// Namespaces.
inline constexpr char kSoapNamespace[] = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr char kAddressingNamespace[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr char kDiscoveryNamespace[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline constexpr char kDevicesNamespace[] = "http://schemas.xmlsoap.org/ws/2006/02/devprof";
inline constexpr char kMetadataExchangeNamespace[] = "http://schemas.xmlsoap.org/ws/2004/09/mex";
inline constexpr char kPublicationNamespace[] = "http://schemas.microsoft.com/windows/pub/2005/07";

// Where multicast discovery messages go, and whom they are addressed to.
inline constexpr char kMulticastIpv4[] = "239.255.255.250";
inline constexpr char kMulticastIpv6[] = "ff02::c";
inline constexpr std::uint16_t kDiscoveryPort = 3702;
inline constexpr char kDiscoveryTo[] = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
inline constexpr char kAnonymousAddress[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

// Actions.
inline constexpr char kProbeAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
inline constexpr char kProbeMatchesAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
inline constexpr char kResolveAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Resolve";
inline constexpr char kResolveMatchesAction[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches";
inline constexpr char kGetAction[] = "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get";

// The metadata section that holds a device's relationships, and the type
// of the relationship that describes the device's host: the computer.
inline constexpr char kRelationshipDialect[] = "http://schemas.xmlsoap.org/ws/2006/02/devprof/Relationship";
inline constexpr char kHostRelationship[] = "http://schemas.xmlsoap.org/ws/2006/02/devprof/host";

// SOAP-over-UDP's repetition of a multicast message: the first copy at
// once, then each repeat after a delay that starts at a random value from
// kMinRepeatDelay to kMaxRepeatDelay and doubles each time, up to
// kUpperRepeatDelay (milliseconds).
inline constexpr int kMulticastRepeats = 2;
inline constexpr int kMinRepeatDelayMs = 50;
inline constexpr int kMaxRepeatDelayMs = 250;
inline constexpr int kUpperRepeatDelayMs = 500;

// A target service waits a random time of up to this before it answers a
// multicast Probe or Resolve (WS-Discovery's APP_MAX_DELAY).
inline constexpr int kAppMaxDelayMs = 500;

}  // namespace discovery::wsd
