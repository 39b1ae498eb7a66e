// The host list (host_list.h) as a discovery source: every name or address
// it gives, as given, and every address of its ranges that answers on the
// SMB port, by address; all in one container, the user's or WORKGROUP. A
// name is not looked up here: one that does not resolve, or a computer
// that does not answer, costs the message that connecting to it gives,
// and nothing else.
#pragma once

#include <string>

#include "platform/discovery/discovery_source.h"
#include "platform/discovery/host_list.h"
#include "platform/discovery/port_probe.h"

namespace discovery {

class HostListSource : public DiscoverySource {
 public:
  HostListSource(HostList hosts, std::string group, ProbeOptions probe = {});

  std::string_view Name() const override { return "the host list"; }
  std::vector<FoundComputer> Find(std::ostream& diagnostics) override;

 private:
  HostList hosts_;
  std::string group_;
  ProbeOptions probe_;
};

}  // namespace discovery
