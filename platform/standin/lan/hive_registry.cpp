#include "platform/standin/lan/hive_registry.h"

#include <string>
#include <vector>

#include "platform/lan/utf16_text.h"
#include "platform/standin/locale/code_pages.h"

namespace standin {

HiveRegistry::HiveRegistry(std::shared_ptr<RegistryHive> hive, std::shared_ptr<RegistryKey> root)
    : hive_(std::move(hive)) {
  open_keys_.emplace(kRootKey, std::move(root));
}

const RegistryKey* HiveRegistry::Find(KeyId key) const {
  const auto found = open_keys_.find(key);
  return found == open_keys_.end() ? nullptr : found->second.get();
}

DWORD HiveRegistry::OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) {
  const auto start = open_keys_.find(parent);
  if (start == open_keys_.end()) return ERROR_INVALID_HANDLE;
  // Names are separated by one backslash; the empty path names the parent.
  const std::string ansi_path = AnsiFromUtf16(path);
  std::vector<std::string> names;
  for (std::size_t begin = 0; begin < ansi_path.size();) {
    std::size_t end = ansi_path.find('\\', begin);
    if (end == std::string::npos) end = ansi_path.size();
    names.push_back(ansi_path.substr(begin, end - begin));
    begin = end + 1;
  }
  std::shared_ptr<RegistryKey> found = FindKey(start->second, names);
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  const REGSAM allowed = found->RefusesWrite ? KEY_READ : KEY_ALL_ACCESS;
  if ((access & ~allowed) != 0) return ERROR_ACCESS_DENIED;
  key = next_key_++;
  open_keys_.emplace(key, std::move(found));
  return ERROR_SUCCESS;
}

DWORD HiveRegistry::EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) {
  const RegistryKey* open = Find(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if (index >= open->Subkeys().size()) return ERROR_NO_MORE_ITEMS;
  const RegistryKey& subkey = *open->Subkeys()[index];
  name = Utf16FromAnsi(subkey.Name().Text);
  last_written = subkey.LastWritten();
  return ERROR_SUCCESS;
}

DWORD HiveRegistry::QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                               std::string& data) {
  const auto found = open_keys_.find(key);
  if (found == open_keys_.end()) return ERROR_INVALID_HANDLE;
  const RegistryValue* value = found->second->Value(AnsiFromUtf16(name));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (fetch_data) {
    if (value->FetchError) return *value->FetchError;
    data = IsStringType(value->Type) ? lan::Utf16leBytes(Utf16FromAnsi(value->Data)) : value->Data;
  }
  type = value->Type;
  size = StoredDataSize(*value);
  return ERROR_SUCCESS;
}

DWORD HiveRegistry::QueryKeyFacts(KeyId key, lan::KeyFacts& facts) {
  const RegistryKey* open = Find(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  facts = FactsOf(*open);
  return ERROR_SUCCESS;
}

DWORD HiveRegistry::CloseKey(KeyId key) {
  if (key == kRootKey || open_keys_.erase(key) == 0) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

}  // namespace standin
