// A LAN directory computer's registry, built in memory from its registry
// export file: the keys of HKEY_LOCAL_MACHINE and HKEY_USERS in the file
// (keys of other roots are ignored), with the computer's denied keys and
// failing values marked. The LAN directory's computers are connected
// through OpenComputerRegistry.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "platform/export/reg_file.h"
#include "platform/lan/lan_model.h"
#include "platform/lan/lan_source.h"
#include "platform/standin/hive/registry_tree.h"

namespace standin {

// The key that the last operation wrote to: an export names the same key
// for each of its values, so the next operation usually finds it here
// instead of walking the path again.
struct HiveCursor {
  regfile::Root Root = regfile::Root::kLocalMachine;
  std::string Path;
  std::shared_ptr<RegistryKey> Key;
};

// Applies one operation of an export file to hive. Operations on roots
// that hive lacks are skipped. Returns an error message for a key path
// that the registry refuses.
std::optional<std::string> ApplyToHive(RegistryHive& hive, const regfile::Operation& operation,
                                       HiveCursor* cursor = nullptr);

// The computer's registry, or ERROR_REGISTRY_CORRUPT when its file cannot
// be read or is malformed; the reason then goes to diagnostics as
// "kestrova: FILE:LINE: MESSAGE".
std::variant<std::shared_ptr<RegistryHive>, LONG> LoadComputerRegistry(const lan::Computer& computer,
                                                                       std::ostream& diagnostics);

// The computer's registry at root, loaded afresh for this connection and
// released with it (lan::ExportRegistryOpener).
DWORD OpenComputerRegistry(const lan::Computer& computer, HKEY root, std::ostream& diagnostics,
                           std::unique_ptr<lan::RemoteRegistry>& registry);

}  // namespace standin
