#include "platform/discovery/host_list_source.h"

#include <arpa/inet.h>

namespace discovery {

HostListSource::HostListSource(HostList hosts, std::string group, ProbeOptions probe)
    : hosts_(std::move(hosts)), group_(std::move(group)), probe_(probe) {}

std::vector<FoundComputer> HostListSource::Find(std::ostream& diagnostics) {
  std::vector<FoundComputer> found;
  // One more than the hierarchy holds, so that the merge says where it
  // was cut.
  for (const HostEntry& host : hosts_.Hosts) {
    if (found.size() > kMaxComputers) return found;
    found.push_back({group_, host.Name, host.IsAddress ? host.Name : std::string(), std::string()});
  }
  for (const std::uint32_t address : AnsweringAddresses(hosts_.Ranges, probe_, diagnostics)) {
    if (found.size() > kMaxComputers) return found;
    in_addr numeric{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &numeric, text, sizeof text);
    found.push_back({group_, text, text, std::string()});
  }
  return found;
}

}  // namespace discovery
