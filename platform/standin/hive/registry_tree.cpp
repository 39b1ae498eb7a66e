#include "platform/standin/hive/registry_tree.h"

#include <algorithm>
#include <chrono>

#include "platform/standin/locale/code_pages.h"
#include "platform/value_types.h"

namespace standin {
namespace {

// The current time as a FILETIME: 100-nanosecond steps since 1601.
FILETIME Now() {
  constexpr std::uint64_t kUnixEpochIn1601Steps = 116444736000000000ULL;
  const auto since_unix_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto steps = std::chrono::duration_cast<std::chrono::nanoseconds>(since_unix_epoch).count() / 100;
  const std::uint64_t value = kUnixEpochIn1601Steps + static_cast<std::uint64_t>(steps);
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

bool FoldedLess(const std::shared_ptr<RegistryKey>& key, const std::u16string& folded) {
  return key->Name().Folded < folded;
}

bool NameLess(const std::shared_ptr<RegistryKey>& key, const NameLookup& name) {
  return name.Order(key->Name().Folded) < 0;
}

}  // namespace

RegistryKey::RegistryKey(RegistryName name) : name_(std::move(name)), last_written_(Now()) {}

std::shared_ptr<RegistryKey> RegistryKey::Subkey(std::string_view name) const {
  const NameLookup lookup(name);
  const auto found = std::lower_bound(subkeys_.begin(), subkeys_.end(), lookup, NameLess);
  if (found == subkeys_.end() || lookup.Order((*found)->Name().Folded) != 0) return nullptr;
  return *found;
}

std::shared_ptr<RegistryKey> RegistryKey::AddSubkey(std::string_view name) {
  auto key = std::make_shared<RegistryKey>(MakeRegistryName(name));
  key->parent_ = this;
  const auto place = std::lower_bound(subkeys_.begin(), subkeys_.end(), key->Name().Folded, FoldedLess);
  subkeys_.insert(place, key);
  Touch();
  return key;
}

void RegistryKey::RemoveSubkey(const RegistryKey& child) {
  const auto found =
      std::find_if(subkeys_.begin(), subkeys_.end(), [&](const auto& key) { return key.get() == &child; });
  if (found == subkeys_.end()) return;
  (*found)->MarkDeleted();
  subkeys_.erase(found);
  Touch();
}

void RegistryKey::MarkDeleted() {
  deleted_ = true;
  parent_ = nullptr;
  for (const auto& subkey : subkeys_) subkey->MarkDeleted();
  subkeys_.clear();
}

RegistryValue* RegistryKey::Value(std::string_view name) {
  const NameLookup lookup(name);
  for (RegistryValue& value : values_) {
    if (lookup.Order(value.Name.Folded) == 0) return &value;
  }
  return nullptr;
}

RegistryValue& RegistryKey::SetValue(std::string_view name, DWORD type, std::string data) {
  Touch();
  RegistryValue* value = Value(name);
  if (value == nullptr) {
    values_.push_back(RegistryValue{MakeRegistryName(name), type, std::move(data), std::nullopt});
    return values_.back();
  }
  value->Type = type;
  value->Data = std::move(data);
  return *value;
}

bool RegistryKey::RemoveValue(std::string_view name) {
  const std::u16string folded = FoldName(name);
  const auto found = std::find_if(values_.begin(), values_.end(),
                                  [&](const RegistryValue& value) { return value.Name.Folded == folded; });
  if (found == values_.end()) return false;
  values_.erase(found);
  Touch();
  return true;
}

void RegistryKey::Touch() { last_written_ = Now(); }

std::shared_ptr<RegistryKey> FindKey(const std::shared_ptr<RegistryKey>& start, const std::vector<std::string>& names) {
  std::shared_ptr<RegistryKey> key = start;
  for (const std::string& name : names) {
    if (key == nullptr) break;
    key = key->Subkey(name);
  }
  return key;
}

DWORD StoredDataSize(const RegistryValue& value) {
  if (!IsStringType(value.Type)) return static_cast<DWORD>(value.Data.size());
  return static_cast<DWORD>(Utf16FromAnsi(value.Data).size() * sizeof(char16_t));
}

lan::KeyFacts FactsOf(const RegistryKey& key) {
  lan::KeyFacts facts;
  facts.SubkeyCount = static_cast<DWORD>(key.Subkeys().size());
  for (const auto& subkey : key.Subkeys()) {
    facts.LongestSubkeyName = std::max(facts.LongestSubkeyName, subkey->Name().Utf16Length);
  }
  facts.ValueCount = static_cast<DWORD>(key.Values().size());
  for (const RegistryValue& value : key.Values()) {
    facts.LongestValueName = std::max(facts.LongestValueName, value.Name.Utf16Length);
    facts.LongestValueData = std::max(facts.LongestValueData, StoredDataSize(value));
  }
  facts.LastWritten = key.LastWritten();
  return facts;
}

RegistryHive::RegistryHive(const std::vector<HKEY>& roots) {
  for (HKEY root : roots) {
    roots_[reinterpret_cast<ULONG_PTR>(root)] = std::make_shared<RegistryKey>(MakeRegistryName(""));
  }
}

std::shared_ptr<RegistryKey> RegistryHive::Root(HKEY predefined) const {
  const auto found = roots_.find(reinterpret_cast<ULONG_PTR>(predefined));
  return found == roots_.end() ? nullptr : found->second;
}

}  // namespace standin
