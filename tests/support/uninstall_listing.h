// The inventory's calls over one computer's registry, as the tests name
// them (platform/lan/uninstall_listing.h).
#pragma once

#include "platform/lan/uninstall_listing.h"

namespace testsupport {

using lan::kUninstallPath;
using lan::ListedSubkey;
using lan::ListUninstallKey;
using lan::UninstallListing;

}  // namespace testsupport
