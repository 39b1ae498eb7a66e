#include "platform/discovery/discovery_settings.h"

#include <cstdlib>

#include "platform/ascii_case.h"
#include "platform/discovery/discovery_source.h"
#include "platform/lan/visible_text.h"

namespace discovery {
namespace {

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

}  // namespace

std::optional<ChosenSources> ParseSources(std::string_view text) {
  ChosenSources chosen{false, false, false, false};
  bool any = false;
  while (!text.empty()) {
    const auto end = text.find_first_of(", \t");
    const std::string_view word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (word.empty()) continue;
    if (ascii_case::Same(word, "browse")) {
      chosen.BrowseList = true;
    } else if (ascii_case::Same(word, "wsd")) {
      chosen.WsDiscovery = true;
    } else if (ascii_case::Same(word, "ad")) {
      chosen.ActiveDirectory = true;
    } else if (ascii_case::Same(word, "hosts")) {
      chosen.HostList = true;
    } else {
      return std::nullopt;
    }
    any = true;
  }
  if (!any) return std::nullopt;
  return chosen;
}

bool IsContainerName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') return false;
  }
  return true;
}

bool ParseNarrowing(std::string_view lan, std::optional<std::string>& only_container) {
  constexpr std::string_view kScheme = "smb://";
  if (lan.size() < kScheme.size() || !ascii_case::Same(lan.substr(0, kScheme.size()), kScheme)) return false;
  std::string_view name = lan.substr(kScheme.size());
  if (name.ends_with('/')) name.remove_suffix(1);
  if (name.empty() && lan.size() == kScheme.size()) {
    only_container.reset();
    return true;
  }
  if (!IsContainerName(name)) return false;
  only_container = std::string(name);
  return true;
}

DiscoverySettings DiscoverySettingsFromEnvironment(std::ostream& diagnostics) {
  DiscoverySettings settings;
  if (const char* lan = Variable(kLanVariable); lan != nullptr && !ParseNarrowing(lan, settings.OnlyContainer)) {
    diagnostics << "kestrova: " << kLanVariable << "=\"" << lan::VisibleText(lan)
                << "\" names no workgroup or domain (smb://NAME); the whole network is listed\n";
  }
  const char* hosts = Variable(kHostsVariable);
  const char* hosts_file = Variable(kHostsFileVariable);
  if (hosts != nullptr) AddHostEntries(hosts, kHostsVariable, false, settings.Hosts, diagnostics);
  if (hosts_file != nullptr) ReadHostsFile(hosts_file, settings.Hosts, diagnostics);
  settings.Sources.HostList = hosts != nullptr || hosts_file != nullptr;
  if (const char* sources = Variable(kSourcesVariable)) {
    if (const std::optional<ChosenSources> chosen = ParseSources(sources)) {
      settings.Sources = *chosen;
    } else {
      diagnostics << "kestrova: " << kSourcesVariable << "=\"" << lan::VisibleText(sources)
                  << "\" is not a list of the sources browse, wsd, ad and hosts; the default applies (browse, wsd, "
                     "ad, and hosts where a host list is given)\n";
    }
  }
  if (settings.Sources.HostList && hosts == nullptr && hosts_file == nullptr) {
    diagnostics << "kestrova: " << kSourcesVariable << " names hosts, but neither " << kHostsVariable << " nor "
                << kHostsFileVariable << " gives a host list\n";
  }
  if (!settings.Sources.HostList && (hosts != nullptr || hosts_file != nullptr)) {
    diagnostics << "kestrova: " << kSourcesVariable << " leaves out hosts: the host list of "
                << (hosts != nullptr ? kHostsVariable : kHostsFileVariable) << " is not used\n";
  }
  if (const char* group = Variable(kHostsGroupVariable)) {
    if (IsContainerName(group)) {
      settings.HostsGroup = group;
    } else {
      diagnostics << "kestrova: " << kHostsGroupVariable << "=\"" << lan::VisibleText(group)
                  << "\" is no workgroup name; the default " << kDefaultHostsGroup << " applies\n";
    }
  }
  return settings;
}

}  // namespace discovery
