// The registry accessor: one root key, local or on another machine, with
// at most one open key beneath it. It opens keys by path, lists subkey
// names, tests for values and reads values as text. What cannot be
// connected, opened, described or found gives false, -1 or an empty
// result; a value that exists but cannot be fetched, or is read as text
// but is not text, raises ERegistryException.
#pragma once

#include <cstdint>

#include "platform/owned_key.h"
#include "platform/windows_api.h"
#include "registry/registry_exception.h"
#include "runtime/exception.h"
#include "runtime/string_list.h"
#include "runtime/text.h"

// The accessor's classification of a value's registry type.
enum class TValueKind : std::uint8_t {
  vkOther = 0,       // REG_NONE, REG_MULTI_SZ, REG_DWORD_BIG_ENDIAN and every other type
  vkText = 1,        // REG_SZ
  vkExpandText = 2,  // REG_EXPAND_SZ
  vkInteger = 3,     // REG_DWORD
  vkBinary = 4,      // REG_BINARY
};

TValueKind ValueKindOf(DWORD registry_type);

// What DescribeKey reports of the open key.
struct TKeySummary {
  DWORD SubkeyCount = 0;
  DWORD LongestSubkeyName = 0;  // characters, without the terminating zero
  DWORD ValueCount = 0;
  DWORD LongestValueName = 0;  // characters
  DWORD LongestData = 0;       // bytes
  FILETIME LastWritten{};
};

// What DescribeValue reports of a value of the open key.
struct TValueFacts {
  TValueKind Kind = TValueKind::vkOther;
  DWORD Size = 0;  // bytes of data
};

class TRegistry : public TObject {
 public:
  TRegistry();
  ~TRegistry() override;
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // Makes root the key that paths start from; the open key is left unless
  // root is the root already. An owned root (a connection) is closed.
  void SelectRoot(HKEY root);
  // Connects the current root key on machine ("\\NAME"); on success the
  // connection is the root, owned, and no key is open.
  bool ConnectMachine(const Text& machine);
  // Opens the key at path: below the root when path starts with a
  // backslash, else below the open key (or the root when none is open).
  bool EnterKey(const Text& path, bool may_create);
  // Replaces the list's entries by the names of the open key's subkeys.
  void ListSubkeys(TStringList& list);
  void LeaveKey();
  bool HasValue(const Text& name);
  // The value's data as text; the empty text when the value is missing or
  // has no data. Raises "Failed to get data for '%s'" and "Invalid data
  // type for '%s'".
  Text ReadText(const Text& name);

  // The operations that those rest on.
  void AdoptKey(OwnedKey key, Text path);
  HKEY StartingKey(bool relative) const;
  bool DescribeKey(TKeySummary& summary);
  bool DescribeValue(const Text& name, TValueFacts& facts);
  std::int32_t ValueSize(const Text& name);
  std::int32_t FetchValue(const Text& name, void* buffer, std::int32_t buffer_size, TValueKind& kind);

  HKEY OpenHandle() const { return open_key_.Get(); }
  HKEY RootHandle() const { return root_handle_; }
  bool DeferFlush() const { return defer_flush_; }
  const Text& OpenPath() const { return open_path_; }
  bool OwnsRoot() const { return connection_.Get() != nullptr; }
  REGSAM AccessRights() const { return access_rights_; }

 private:
  HKEY root_handle_ = nullptr;
  // The root when it is a connection that this accessor made.
  OwnedKey connection_;
  OwnedKey open_key_;
  bool defer_flush_ = false;
  Text open_path_;
  REGSAM access_rights_ = 0;
};
