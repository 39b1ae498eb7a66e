// The entry point of the SMB network module (smb_network_module.h).
#include "platform/smb/smb_network_module.h"

#include <type_traits>

#include "platform/smb/discovery_sources.h"

extern "C" __attribute__((visibility("default"))) lan::LanSource* KestrovaOpenSmbNetwork(
    std::ostream& diagnostics, lan::ProgressReport& progress) {
  return smb::OpenSmbNetworkFromEnvironment(diagnostics, progress).release();
}

// The entry point has the type that the program calls it through.
static_assert(std::is_same_v<decltype(KestrovaOpenSmbNetwork), smb::OpenSmbNetworkFunction>);
