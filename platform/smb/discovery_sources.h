// The discovery sources that the settings choose, in the fixed order in
// which their findings are merged: the browse list, WS-Discovery, Active
// Directory, the host list; and the SMB network made from the
// environment, as the module and the probe open it.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "platform/discovery/discovery_settings.h"
#include "platform/discovery/discovery_source.h"
#include "platform/lan/progress_report.h"
#include "platform/smb/smb_browse_list.h"
#include "platform/smb/smb_lan_source.h"
#include "platform/smb/smb_settings.h"

namespace smb {

// Each source reads its own settings from the environment here, and
// reports their mistakes to `diagnostics`. The browse list source reads
// through `browse_lists`, which the SMB network shares with it (it lists
// servers' shares once discovery is done). A source that waits for
// something (its probe's replies) tells `progress`, from its own thread.
std::vector<std::unique_ptr<discovery::DiscoverySource>> MakeDiscoverySources(
    const discovery::DiscoverySettings& choice, const SmbSettings& settings,
    const std::shared_ptr<BrowseListReader>& browse_lists, std::ostream& diagnostics,
    lan::ProgressReport& progress = lan::NoProgressReport());

// The SMB network with the environment's settings (smb_settings.h,
// discovery_settings.h and the sources' own); its sources' waits go to
// `progress`.
std::unique_ptr<SmbLanSource> OpenSmbNetworkFromEnvironment(std::ostream& diagnostics,
                                                            lan::ProgressReport& progress = lan::NoProgressReport());

}  // namespace smb
