// What a key tells of itself: RegQueryInfoKeyA (its counts, longest names
// and data, last write time) and RegEnumKeyExA (its subkeys one by one),
// with the same lengths as Windows (names measured in UTF-16 characters).
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "platform/standin/locale/code_pages.h"
#include "platform/standin/registry/registry_access.h"
#include "platform/standin/registry/registry_control.h"

namespace {

using standin::LanKey;
using standin::LocalKey;
using standin::OpenKey;
using standin::Status;

standin::RegistryEnumHook enum_hook;

// The subkey number index: its name in ANSI and its last write time. A
// LAN computer's name is kept in the LAN buffers (LanScratch), a local
// one in its key.
LONG Subkey(const OpenKey& open, DWORD index, std::string_view& name, FILETIME& last_written) {
  if (const auto* lan_key = std::get_if<LanKey>(&open.Target)) {
    standin::LanBuffers& buffers = standin::LanScratch();
    const DWORD status = lan_key->Connection->Registry().EnumKey(lan_key->Key, index, buffers.Wide, last_written);
    if (status != NO_ERROR) return Status(status);
    standin::AnsiFromUtf16(buffers.Wide, buffers.Ansi);
    name = buffers.Ansi;
    return ERROR_SUCCESS;
  }
  const auto& subkeys = std::get<LocalKey>(open.Target).Key->Subkeys();
  if (index >= subkeys.size()) return Status(ERROR_NO_MORE_ITEMS);
  name = subkeys[index]->Name().Text;
  last_written = subkeys[index]->LastWritten();
  return ERROR_SUCCESS;
}

}  // namespace

namespace standin {

void SetRegEnumKeyHookForTesting(RegistryEnumHook hook) { enum_hook = std::move(hook); }

}  // namespace standin

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  OpenKey open;
  if (const LONG status = standin::Resolve(hKey, KEY_QUERY_VALUE, open); status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) return Status(ERROR_INVALID_PARAMETER);
  lan::KeyFacts facts;
  if (const auto* lan_key = std::get_if<LanKey>(&open.Target)) {
    const DWORD status = lan_key->Connection->Registry().QueryKeyFacts(lan_key->Key, facts);
    if (status != NO_ERROR) return Status(status);
  } else {
    facts = standin::FactsOf(*std::get<LocalKey>(open.Target).Key);
  }
  // Keys have no class here: the class is the empty text.
  if (lpcchClass != nullptr) {
    if (lpClass != nullptr) {
      if (*lpcchClass == 0) return Status(ERROR_MORE_DATA);
      lpClass[0] = '\0';
    }
    *lpcchClass = 0;
  }
  if (lpcSubKeys != nullptr) *lpcSubKeys = facts.SubkeyCount;
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = facts.LongestSubkeyName;
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
  if (lpcValues != nullptr) *lpcValues = facts.ValueCount;
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = facts.LongestValueName;
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = facts.LongestValueData;
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = facts.LastWritten;
  return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                          LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  // The hook may call the registry itself, RegEnumKeyExA included; it is
  // not run again from within itself.
  static bool hook_running = false;
  if (enum_hook && !hook_running) {
    hook_running = true;
    const standin::RegistryEnumHook hook = enum_hook;
    hook(hKey, dwIndex);
    hook_running = false;
  }
  OpenKey open;
  if (const LONG status = standin::Resolve(hKey, KEY_ENUMERATE_SUB_KEYS, open); status != ERROR_SUCCESS) return status;
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
      (lpClass != nullptr && lpcchClass == nullptr)) {
    return Status(ERROR_INVALID_PARAMETER);
  }
  std::string_view name;
  FILETIME last_written{};
  if (const LONG status = Subkey(open, dwIndex, name, last_written); status != ERROR_SUCCESS) return status;
  // The capacity counts the terminating zero; a name that does not fit
  // leaves the buffer and the capacity as they were.
  if (name.size() + 1 > *lpcchName) return Status(ERROR_MORE_DATA);
  std::memcpy(lpName, name.data(), name.size());
  lpName[name.size()] = '\0';
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpcchClass != nullptr) {
    if (lpClass != nullptr && *lpcchClass > 0) lpClass[0] = '\0';
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = last_written;
  return ERROR_SUCCESS;
}
