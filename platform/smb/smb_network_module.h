// The SMB network is a module that the program loads only when it is
// selected (KESTROVA_LAN=smb://). libsmbclient brings in more than a hundred
// shared libraries, and linking them at every start would cost each run
// over a LAN directory more time than reading its files.
//
// The module exports one function, named by kOpenSmbNetworkSymbol, of type
// OpenSmbNetworkFunction: it answers the SMB network with the settings of
// the environment (credentials, time limit), owned by the caller and never
// null. Mistakes in those settings, and the computers that cannot be read,
// are reported to `diagnostics`; what the network waits for while it finds
// the computers, to `progress` (progress_report.h). Both must outlive the
// network.
#pragma once

#include <iosfwd>
#include <string_view>

#include "platform/ascii_case.h"
#include "platform/lan/lan_source.h"
#include "platform/lan/progress_report.h"

namespace smb {

inline constexpr char kSmbNetworkModuleName[] = "kestrova-smb.so";
inline constexpr char kOpenSmbNetworkSymbol[] = "KestrovaOpenSmbNetwork";
using OpenSmbNetworkFunction = lan::LanSource*(std::ostream& diagnostics, lan::ProgressReport& progress);

// True for the values of KESTROVA_LAN that name the SMB network: those that
// start with "smb://" in any case, the whole network (smb://) or one
// workgroup or domain of it (smb://NAME, discovery_settings.h).
inline bool NamesSmbNetwork(std::string_view lan) {
  constexpr std::string_view kScheme = "smb://";
  return lan.size() >= kScheme.size() && ascii_case::Same(lan.substr(0, kScheme.size()), kScheme);
}

}  // namespace smb
