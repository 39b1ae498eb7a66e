// How the program selects the SMB network: KESTROVA_LAN=smb://.
#pragma once

#include <iostream>
#include <memory>
#include <string_view>

#include "platform/lan/lan_source.h"

namespace smb {

// True for the values of KESTROVA_LAN that name the SMB network.
bool NamesSmbNetwork(std::string_view lan);

// The SMB network with the settings of the environment (credentials, time
// limit); their mistakes are reported to `messages`, as are the computers
// that cannot be read.
std::unique_ptr<lan::LanSource> SmbNetworkFromEnvironment(std::ostream& messages = std::cerr);

}  // namespace smb
