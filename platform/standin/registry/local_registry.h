// The local machine's registry: in memory and empty at start, with the
// roots HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and
// HKEY_USERS. Each is a key of its own here, not a view into another one
// as on Windows.
#pragma once

#include <memory>

#include "platform/standin/hive/registry_tree.h"

namespace standin {

std::shared_ptr<RegistryHive> LocalRegistry();

// Replaces the local registry by an empty one.
void ResetLocalRegistry();

// True for a null or empty machine name and for the local computer's own
// name (GetComputerNameA), with or without two leading backslashes, in
// any case: the names that RegConnectRegistryA reaches the local registry
// by.
bool NamesLocalComputer(const char* machine);

}  // namespace standin
