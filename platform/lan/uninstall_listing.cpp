#include "platform/lan/uninstall_listing.h"

#include "platform/lan/utf16_text.h"

namespace lan {

std::u16string ListedSubkey::DisplayName() const {
  if (Step != Failed::kNothing || (Type != REG_SZ && Type != REG_EXPAND_SZ)) return {};
  std::u16string text = Utf16FromUtf16le(Data);
  text.resize(std::min(text.size(), text.find(u'\0')));
  return text;
}

UninstallListing ListUninstallKey(RemoteRegistry& registry) {
  using KeyId = RemoteRegistry::KeyId;
  using Failed = ListedSubkey::Failed;
  UninstallListing listing;
  KeyId uninstall = 0;
  listing.Status = registry.OpenKey(RemoteRegistry::kRootKey, kUninstallPath, KEY_ALL_ACCESS, uninstall);
  if (listing.Status != NO_ERROR) return listing;
  KeyFacts facts;
  listing.Status = registry.QueryKeyFacts(uninstall, facts);
  if (listing.Status != NO_ERROR) {
    registry.CloseKey(uninstall);
    return listing;
  }
  for (DWORD index = 0; index < facts.SubkeyCount; ++index) {
    ListedSubkey& subkey = listing.Subkeys.emplace_back();
    FILETIME written{};
    subkey.Status = registry.EnumKey(uninstall, index, subkey.Name, written);
    if (subkey.Status != NO_ERROR) subkey.Step = Failed::kName;
  }
  registry.CloseKey(uninstall);
  for (ListedSubkey& subkey : listing.Subkeys) {
    if (subkey.Step != Failed::kNothing) continue;
    KeyId key = 0;
    subkey.Status = registry.OpenKey(RemoteRegistry::kRootKey, std::u16string(kUninstallPath) + u"\\" + subkey.Name,
                                     KEY_ALL_ACCESS, key);
    if (subkey.Status != NO_ERROR) {
      subkey.Step = Failed::kOpen;
      continue;
    }
    DWORD size = 0;
    for (const bool fetch_data : {false, false, true}) {
      subkey.Status = registry.QueryValue(key, u"DisplayName", fetch_data, subkey.Type, size, subkey.Data);
      if (subkey.Status != NO_ERROR) {
        subkey.Step = Failed::kDisplayName;
        break;
      }
    }
    registry.CloseKey(key);
  }
  return listing;
}

}  // namespace lan
