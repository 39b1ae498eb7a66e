// Applies the operations of a registry export file to the registry through
// the Windows registry API alone (RegCreateKeyExA, RegSetValueExA,
// RegDeleteKeyA, RegDeleteValueA and the calls needed to walk a key tree),
// so that the same code seeds the stand-in's registry and a real one (the
// tests' importer; the Windows tests' import_registry is built on it).
#pragma once

#include <optional>
#include <vector>

#include "platform/windows_api.h"
#include "tests/support/reg_file_operations.h"

namespace regfile {

struct ImportFailure {
  int Line = 0;    // the operation's line in the file
  LONG Error = 0;  // the status of the call that failed
};

// Applies operations in order and stops at the first call that fails.
// Deleting a key or value that does not exist is no failure, as with the
// registry editor.
std::optional<ImportFailure> ImportOperations(const std::vector<Operation>& operations);

// Deletes the key at path below parent with every key below it;
// ERROR_SUCCESS also when the key does not exist.
LONG DeleteKeyTree(HKEY parent, const std::string& path);

}  // namespace regfile
