// The registries that the stand-in serves: the local machine's, in memory
// and empty at start, and those of the LAN's computers, loaded from their
// export files when they are connected and released when the last handle
// into them is closed.
#pragma once

#include <memory>

#include "platform/standin/hive/registry_tree.h"

namespace standin {

// The local registry, with the roots HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE and HKEY_USERS. Each is a key of its own here, not a
// view into another one as on Windows.
std::shared_ptr<RegistryHive> LocalRegistry();

// Replaces the local registry by an empty one.
void ResetLocalRegistry();

struct MachineRoot {
  LONG Status = ERROR_SUCCESS;
  std::shared_ptr<RegistryHive> Hive;
  std::shared_ptr<RegistryKey> Key;
};

// The root key that RegConnectRegistryA reaches with machine and root:
// in the local registry for a null or empty name and for the local
// computer's own name, else in the registry of the LAN computer of that
// name (with or without two leading backslashes, in any case). Failures:
// ERROR_INVALID_HANDLE for a root that the machine does not serve (a LAN
// computer serves HKEY_LOCAL_MACHINE and HKEY_USERS alone), then
// ERROR_BAD_NETPATH for an unknown computer, the computer's ConnectError,
// and ERROR_REGISTRY_CORRUPT for a registry file that cannot be read.
MachineRoot ReachMachineRoot(const char* machine, HKEY root);

}  // namespace standin
