// WS-Discovery as a discovery source: the computers that answer a probe
// for devices on the link, as Windows' network view finds them where
// network discovery is on (the Function Discovery Resource Publication
// service), and as Samba servers running wsdd publish themselves.
//
//   1. A Probe for wsdp:Device goes to the discovery multicast groups on
//      every chosen interface, repeated as SOAP-over-UDP repeats multicast
//      (three copies within 0.75 s, one MessageID).
//   2. For the window, ProbeMatches that name the probe in RelatesTo are
//      read; each reply is taken once (by MessageID) and each device once
//      (by endpoint address). Only devices whose types name pub:Computer
//      go further: printers and other devices answer the probe too.
//   3. A device that gave no transport address (XAddrs) is asked for them
//      with a Resolve (multicast, repeated likewise); its ResolveMatches
//      must come within the settings' ResolveTimeLimit (2 s).
//   4. Its metadata is asked for with a WS-Transfer Get, over HTTP, at the
//      address its reply came from, at most kParallelGets at once, each
//      within the settings' GetTimeLimit (2 s). The host relationship's pub:Computer gives
//      the computer's name and its workgroup or domain.
//
// Find returns when the window has passed and every Resolve and Get has
// ended, and never later than the window plus GetTimeLimit. Each
// computer is reached by the address it answered from (IPv4 first, then
// IPv6, link-local last, each with its zone), so that the LAN needs no
// name service. Each failure costs one message and at most its own
// computer.
#pragma once

#include <cstddef>

#include "platform/discovery/discovery_source.h"
#include "platform/discovery/wsd/wsd_settings.h"
#include "platform/lan/progress_report.h"

namespace discovery::wsd {

inline constexpr std::size_t kParallelGets = 16;
// Devices taken from one run's replies; more are left out with a message.
inline constexpr std::size_t kMaxDevices = 1024;
// Datagrams read in one run; the rest are dropped unread.
inline constexpr std::size_t kMaxDatagramsRead = 8192;

class WsdDiscoverySource : public DiscoverySource {
 public:
  // The probe's window, and then the metadata still awaited, are told to
  // `progress` as waits.
  explicit WsdDiscoverySource(WsdSettings settings, lan::ProgressReport& progress = lan::NoProgressReport())
      : settings_(std::move(settings)), progress_(progress) {}

  std::string_view Name() const override { return "WS-Discovery"; }
  std::vector<FoundComputer> Find(std::ostream& diagnostics) override;

 private:
  WsdSettings settings_;
  lan::ProgressReport& progress_;
};

}  // namespace discovery::wsd
