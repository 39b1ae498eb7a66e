// The stand-in's registry in memory: keys that hold their subkeys sorted
// as Windows enumerates them and their values in the order of creation,
// and hives that hold the root keys of one machine.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/lan_source.h"
#include "platform/standin/hive/registry_names.h"
#include "platform/windows_api.h"

namespace standin {

struct RegistryValue {
  RegistryName Name;
  DWORD Type = REG_NONE;
  std::string Data;
  // The size can be read, but fetching the data fails with this code.
  std::optional<DWORD> FetchError;
};

class RegistryKey {
 public:
  explicit RegistryKey(RegistryName name);
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  const RegistryName& Name() const { return name_; }
  // The key above; null for a root key and for a deleted key.
  RegistryKey* Parent() const { return parent_; }
  bool Deleted() const { return deleted_; }
  FILETIME LastWritten() const { return last_written_; }

  // True for a key that grants no right beyond KEY_READ.
  bool RefusesWrite = false;

  // Subkeys sorted by their upper-cased names, as Windows enumerates them.
  const std::vector<std::shared_ptr<RegistryKey>>& Subkeys() const { return subkeys_; }
  std::shared_ptr<RegistryKey> Subkey(std::string_view name) const;
  // Adds a subkey that does not exist yet.
  std::shared_ptr<RegistryKey> AddSubkey(std::string_view name);
  // Detaches child and marks it, and every key below it, deleted.
  void RemoveSubkey(const RegistryKey& child);

  const std::vector<RegistryValue>& Values() const { return values_; }
  RegistryValue* Value(std::string_view name);
  // Replaces the data of an existing value in place, or appends a value.
  RegistryValue& SetValue(std::string_view name, DWORD type, std::string data);
  bool RemoveValue(std::string_view name);

 private:
  void Touch();
  void MarkDeleted();

  RegistryName name_;
  RegistryKey* parent_ = nullptr;
  bool deleted_ = false;
  FILETIME last_written_{};
  std::vector<std::shared_ptr<RegistryKey>> subkeys_;
  std::vector<RegistryValue> values_;
};

// The walk along path's names from start; null when a key is missing.
std::shared_ptr<RegistryKey> FindKey(const std::shared_ptr<RegistryKey>& start, const std::vector<std::string>& names);

// The size that Windows keeps for a value's data: string types are stored
// as UTF-16 (code_pages.h, Utf16FromAnsi), whatever the ANSI functions
// hand in and out.
DWORD StoredDataSize(const RegistryValue& value);

// What RegQueryInfoKeyA tells of key.
lan::KeyFacts FactsOf(const RegistryKey& key);

// The registry of one machine: its root keys by predefined handle value.
class RegistryHive {
 public:
  explicit RegistryHive(const std::vector<HKEY>& roots);
  RegistryHive(const RegistryHive&) = delete;
  RegistryHive& operator=(const RegistryHive&) = delete;

  // Null for a root that this hive does not have.
  std::shared_ptr<RegistryKey> Root(HKEY predefined) const;

 private:
  std::map<ULONG_PTR, std::shared_ptr<RegistryKey>> roots_;
};

}  // namespace standin
