// Which discovery sources run, and what they look for, from the
// environment:
//
//   KESTROVA_LAN=smb://NAME   only the workgroup or domain NAME (ignoring
//                             case); smb:// alone: the whole network
//   KESTROVA_DISCOVERY        the sources, separated by commas or blanks:
//                             browse (the browse list), wsd (WS-Discovery),
//                             ad (Active Directory), hosts (the host list);
//                             default: browse, wsd and ad, and hosts where
//                             a host list is given
//   KESTROVA_HOSTS            host names, addresses and IPv4 ranges
//                             (a.b.c.d/n), separated by commas or blanks
//   KESTROVA_HOSTS_FILE       a file of the same, one or more a line, from
//                             # to the end of a line a comment
//   KESTROVA_HOSTS_GROUP      the workgroup that the host list's computers
//                             are shown in; default WORKGROUP
//
// A value that is wrong is reported with its default. The sources' own
// settings (KESTROVA_WSD_WINDOW, KESTROVA_WSD_INTERFACES,
// KESTROVA_LDAP_URI) are read by the sources themselves.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/discovery/host_list.h"

namespace discovery {

inline constexpr const char* kLanVariable = "KESTROVA_LAN";
inline constexpr const char* kSourcesVariable = "KESTROVA_DISCOVERY";
inline constexpr const char* kHostsVariable = "KESTROVA_HOSTS";
inline constexpr const char* kHostsFileVariable = "KESTROVA_HOSTS_FILE";
inline constexpr const char* kHostsGroupVariable = "KESTROVA_HOSTS_GROUP";
inline constexpr char kDefaultHostsGroup[] = "WORKGROUP";

struct ChosenSources {
  bool BrowseList = true;
  bool WsDiscovery = true;
  bool ActiveDirectory = true;
  bool HostList = false;

  bool operator==(const ChosenSources&) const = default;
};

struct DiscoverySettings {
  ChosenSources Sources;
  // The one workgroup or domain to list; none: the whole network.
  std::optional<std::string> OnlyContainer;
  // The host list's entries, from KESTROVA_HOSTS and KESTROVA_HOSTS_FILE.
  HostList Hosts;
  std::string HostsGroup = kDefaultHostsGroup;
};

// The sources that KESTROVA_DISCOVERY names; nullopt for a value that
// names none or a word that is no source.
std::optional<ChosenSources> ParseSources(std::string_view text);

// What a KESTROVA_LAN value that starts with smb:// narrows the network
// to: nullopt for the whole network (smb://), the name for smb://NAME or
// smb://NAME/; false for anything else (a further slash, a backslash, a
// control character, a name too long).
bool ParseNarrowing(std::string_view lan, std::optional<std::string>& only_container);

// Whether `name` may name a workgroup or domain: not empty, at most
// kMaxNameBytes, no control character, slash or backslash.
bool IsContainerName(std::string_view name);

DiscoverySettings DiscoverySettingsFromEnvironment(std::ostream& diagnostics);

}  // namespace discovery
