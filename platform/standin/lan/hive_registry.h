// A registry in memory (hive/registry_tree.h) served as a LAN source's
// remote registry: what a LAN directory's computer answers when it is
// connected. Names and string data cross to UTF-16 as code_pages.h says
// (Utf16FromAnsi, AnsiFromUtf16), so that they come back as they were.
#pragma once

#include <map>
#include <memory>

#include "platform/lan/lan_source.h"
#include "platform/standin/hive/registry_tree.h"

namespace standin {

class HiveRegistry final : public lan::RemoteRegistry {
 public:
  // Serves the keys below root, a root key of hive.
  HiveRegistry(std::shared_ptr<RegistryHive> hive, std::shared_ptr<RegistryKey> root);

  // A key that refuses writing grants KEY_READ and no more.
  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override;
  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override;
  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override;
  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override;
  DWORD CloseKey(KeyId key) override;

 private:
  // The key behind an id; null for one that is not open.
  const RegistryKey* Find(KeyId key) const;

  std::shared_ptr<RegistryHive> hive_;
  std::map<KeyId, std::shared_ptr<RegistryKey>> open_keys_;
  KeyId next_key_ = kRootKey + 1;
};

}  // namespace standin
