#include "platform/smb/discovery_sources.h"

#include "platform/ascii_case.h"
#include "platform/discovery/host_list_source.h"
#include "platform/discovery/ldap/active_directory_source.h"
#include "platform/discovery/wsd/wsd_discovery_source.h"
#include "platform/smb/address_probe.h"
#include "platform/smb/browse_list_source.h"

namespace smb {

std::vector<std::unique_ptr<discovery::DiscoverySource>> MakeDiscoverySources(
    const discovery::DiscoverySettings& choice, const SmbSettings& settings,
    const std::shared_ptr<BrowseListReader>& browse_lists, std::ostream& diagnostics, lan::ProgressReport& progress) {
  std::vector<std::unique_ptr<discovery::DiscoverySource>> sources;
  if (choice.Sources.BrowseList) {
    sources.push_back(std::make_unique<BrowseListSource>(browse_lists, choice.OnlyContainer));
  }
  if (choice.Sources.WsDiscovery) {
    sources.push_back(std::make_unique<discovery::wsd::WsdDiscoverySource>(
        discovery::wsd::WsdSettingsFromEnvironment(diagnostics), progress));
  }
  if (choice.Sources.ActiveDirectory) {
    // Absent, without a message, where no domain is known.
    if (auto directory = discovery::ldap::OpenActiveDirectorySource(settings, diagnostics)) {
      sources.push_back(std::move(directory));
    }
  }
  // Narrowed to another workgroup, the host list would probe its ranges
  // for computers that the merge then leaves out.
  const bool hosts_shown = !choice.OnlyContainer || ascii_case::Same(*choice.OnlyContainer, choice.HostsGroup);
  if (choice.Sources.HostList && hosts_shown) {
    sources.push_back(std::make_unique<discovery::HostListSource>(choice.Hosts, choice.HostsGroup));
  }
  return sources;
}

std::unique_ptr<SmbLanSource> OpenSmbNetworkFromEnvironment(std::ostream& diagnostics, lan::ProgressReport& progress) {
  const SmbSettings settings = SettingsFromEnvironment(diagnostics);
  const discovery::DiscoverySettings choice = discovery::DiscoverySettingsFromEnvironment(diagnostics);
  std::shared_ptr<BrowseListReader> browse_lists = MakeSmbBrowseListReader(settings);
  discovery::MergeOptions merge;
  merge.OnlyContainer = choice.OnlyContainer;
  return std::make_unique<SmbLanSource>(
      settings, diagnostics, browse_lists, MakeDiscoverySources(choice, settings, browse_lists, diagnostics, progress),
      std::move(merge), nullptr,
      std::make_shared<Reachability>(std::chrono::milliseconds(settings.TimeoutMilliseconds)));
}

}  // namespace smb
