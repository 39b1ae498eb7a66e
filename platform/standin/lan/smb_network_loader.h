// Loads the SMB network module (platform/smb/smb_network_module.h) when
// KESTROVA_LAN selects the real network.
#pragma once

#include <iosfwd>
#include <memory>

#include "platform/lan/lan_source.h"
#include "platform/lan/progress_report.h"

namespace standin {

// The SMB network, from the module installed beside the program
// (<prefix>/<libdir>/kestrova/kestrova-smb.so) or else the one built in this
// tree. When neither can be loaded (libsmbclient missing, say) it says why
// on `diagnostics` and answers null. The network tells `progress` what it
// waits for. A loaded module stays loaded until the process ends, since
// the network's code lives in it.
std::unique_ptr<lan::LanSource> LoadSmbNetwork(std::ostream& diagnostics, lan::ProgressReport& progress);

}  // namespace standin
