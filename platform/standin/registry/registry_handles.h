// The stand-in's open registry handles. A handle stands either for a key
// of the local registry, keeping the key and its hive alive, or for a key
// of a LAN computer's registry, keeping the connection alive. The
// predefined roots of the local registry are no entries of the table and
// need no closing.
#pragma once

#include <memory>
#include <optional>
#include <variant>

#include "platform/lan/lan_source.h"
#include "platform/standin/hive/registry_tree.h"
#include "platform/standin/registry/lan_connections.h"

namespace standin {

struct LocalKey {
  std::shared_ptr<RegistryHive> Hive;
  std::shared_ptr<RegistryKey> Key;
};

struct LanKey {
  std::shared_ptr<LanConnection> Connection;
  lan::RemoteRegistry::KeyId Key = lan::RemoteRegistry::kRootKey;
};

struct OpenKey {
  std::variant<LocalKey, LanKey> Target;
  REGSAM Granted = 0;  // specific and standard rights, generic ones mapped
};

HKEY AddRegistryHandle(OpenKey key);

// The key behind handle, copied into `key`: a handle of the table or a
// predefined root of the local registry (with every right). False for
// any other handle, 0 included.
bool FindRegistryHandle(HKEY handle, OpenKey& key);

bool IsPredefinedRegistryHandle(HKEY handle);

// Removes handle from the table and answers what it stood for; null when
// it is not in the table.
std::optional<OpenKey> TakeRegistryHandle(HKEY handle);

int RegistryHandleCount();

// Forgets every handle (tests).
void ClearRegistryHandles();

}  // namespace standin
