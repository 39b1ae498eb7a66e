// The stand-in's open registry handles. A handle keeps its key and the
// registry that holds it alive; the predefined roots of the local registry
// are no entries of the table and need no closing.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/standin/hive/registry_tree.h"

namespace standin {

struct OpenKey {
  std::shared_ptr<RegistryHive> Hive;
  std::shared_ptr<RegistryKey> Key;
  REGSAM Granted = 0;  // specific and standard rights, generic ones mapped
};

HKEY AddRegistryHandle(OpenKey key);

// The key behind handle: a handle of the table or a predefined root of the
// local registry (with every right). Null for any other handle, 0 included.
std::optional<OpenKey> FindRegistryHandle(HKEY handle);

bool IsPredefinedRegistryHandle(HKEY handle);

// False when handle is not in the table.
bool RemoveRegistryHandle(HKEY handle);

int RegistryHandleCount();

// Forgets every handle (tests).
void ClearRegistryHandles();

}  // namespace standin
