// A LAN directory computer's registry: its export file read in place
// (platform/export/export_registry.h) in the computer's code page, with its
// denied keys and failing values. The LAN directory's computers are
// connected through OpenComputerRegistry.
#pragma once

#include <memory>
#include <ostream>

#include "platform/lan/lan_model.h"
#include "platform/lan/lan_source.h"

namespace standin {

// The computer's registry at root, read afresh for this connection and
// released with it (lan::ExportRegistryOpener). ERROR_REGISTRY_CORRUPT
// when its file cannot be read or is no registry export; the reason goes to
// diagnostics as "kestrova: FILE:LINE: MESSAGE", and so do the lines that
// the registry skips as it reads past them.
DWORD OpenComputerRegistry(const lan::Computer& computer, HKEY root, std::ostream& diagnostics,
                           std::unique_ptr<lan::RemoteRegistry>& registry);

}  // namespace standin
