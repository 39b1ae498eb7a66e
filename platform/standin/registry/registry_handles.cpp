#include "platform/standin/registry/registry_handles.h"

#include <map>

#include "platform/standin/registry/local_registry.h"

namespace standin {
namespace {

struct HandleTable {
  using Entries = std::map<ULONG_PTR, OpenKey>;
  Entries entries;
  // The entry of the latest handle closed, kept for the next one opened:
  // a program opens and closes a key for each subkey it reads, and so
  // needs no allocation for it.
  Entries::node_type spare;
  // Handle values grow by 4 like Windows handles and are never reused,
  // so that a handle used after closing is always told apart.
  ULONG_PTR next = 0x1000;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

HKEY AddRegistryHandle(OpenKey key) {
  HandleTable& table = Table();
  const ULONG_PTR value = table.next;
  table.next += 4;
  if (table.spare.empty()) {
    table.entries.emplace(value, std::move(key));
  } else {
    table.spare.key() = value;
    table.spare.mapped() = std::move(key);
    table.entries.insert(std::move(table.spare));
  }
  return reinterpret_cast<HKEY>(value);
}

bool IsPredefinedRegistryHandle(HKEY handle) {
  const auto value = reinterpret_cast<ULONG_PTR>(handle);
  return value >= reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) && value <= reinterpret_cast<ULONG_PTR>(HKEY_DYN_DATA);
}

bool FindRegistryHandle(HKEY handle, OpenKey& key) {
  if (IsPredefinedRegistryHandle(handle)) {
    std::shared_ptr<RegistryHive> hive = LocalRegistry();
    std::shared_ptr<RegistryKey> root = hive->Root(handle);
    if (root == nullptr) return false;
    key = OpenKey{LocalKey{std::move(hive), std::move(root)}, KEY_ALL_ACCESS};
    return true;
  }
  const auto found = Table().entries.find(reinterpret_cast<ULONG_PTR>(handle));
  if (found == Table().entries.end()) return false;
  key = found->second;
  return true;
}

std::optional<OpenKey> TakeRegistryHandle(HKEY handle) {
  HandleTable& table = Table();
  const auto found = table.entries.find(reinterpret_cast<ULONG_PTR>(handle));
  if (found == table.entries.end()) return std::nullopt;
  table.spare = table.entries.extract(found);
  OpenKey taken = std::move(table.spare.mapped());
  table.spare.mapped() = OpenKey{};
  return taken;
}

int RegistryHandleCount() { return static_cast<int>(Table().entries.size()); }

void ClearRegistryHandles() {
  Table().entries.clear();
  Table().spare = {};
}

}  // namespace standin
