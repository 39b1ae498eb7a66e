// The Windows registry functions over the stand-in's registries. Each
// answers as Windows does for the same call: the same status codes, the
// same lengths (names measured in UTF-16 characters), the same layouts.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "platform/standin/locale/code_pages.h"
#include "platform/standin/registry/registry_handles.h"
#include "platform/standin/registry/registry_machines.h"
#include "platform/standin/standin_control.h"

namespace {

using standin::OpenKey;
using standin::RegistryKey;
using standin::RegistryValue;

standin::RegistryEnumHook enum_hook;

constexpr LONG Status(DWORD code) { return static_cast<LONG>(code); }

// The rights that samDesired asks for, generic rights mapped to the key's
// own; the WOW64 view flags select nothing here.
REGSAM RequestedRights(REGSAM desired) {
  REGSAM rights = desired & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                              GENERIC_ALL | MAXIMUM_ALLOWED);
  if (desired & GENERIC_READ) rights |= KEY_READ;
  if (desired & GENERIC_WRITE) rights |= KEY_WRITE;
  if (desired & GENERIC_EXECUTE) rights |= KEY_EXECUTE;
  if (desired & GENERIC_ALL) rights |= KEY_ALL_ACCESS;
  return rights;
}

// The rights granted on key, or ERROR_ACCESS_DENIED. A key that refuses
// writing grants KEY_READ at most; MAXIMUM_ALLOWED takes what is there.
LONG GrantRights(const RegistryKey& key, REGSAM desired, REGSAM& granted) {
  const REGSAM requested = RequestedRights(desired);
  const REGSAM allowed = key.RefusesWrite ? KEY_READ : KEY_ALL_ACCESS;
  if ((requested & ~allowed) != 0) return Status(ERROR_ACCESS_DENIED);
  granted = requested;
  if (desired & MAXIMUM_ALLOWED) granted |= allowed;
  return ERROR_SUCCESS;
}

// The open key behind hKey, checked for the rights that the call needs.
LONG Resolve(HKEY hKey, REGSAM needed, OpenKey& open) {
  std::optional<OpenKey> found = standin::FindRegistryHandle(hKey);
  if (!found) return Status(ERROR_INVALID_HANDLE);
  if (found->Key->Deleted()) return Status(ERROR_KEY_DELETED);
  if ((found->Granted & needed) != needed) return Status(ERROR_ACCESS_DENIED);
  open = std::move(*found);
  return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The size that Windows keeps for a value's data: string types are stored
// as UTF-16, whatever the ANSI functions hand in and out.
DWORD StoredDataSize(const RegistryValue& value) {
  if (!IsStringType(value.Type)) return static_cast<DWORD>(value.Data.size());
  const auto wide = standin::ConvertEncoding(value.Data, standin::IconvCodePageName(GetACP()), "UTF-16LE");
  return static_cast<DWORD>(wide ? wide->size() : value.Data.size() * 2);
}

// Opens or creates the key at lpSubKey below hKey.
LONG OpenOrCreate(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, bool create, PHKEY phkResult,
                  LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return Status(ERROR_INVALID_PARAMETER);
  *phkResult = nullptr;
  OpenKey start;
  if (const LONG status = Resolve(hKey, 0, start); status != ERROR_SUCCESS) return status;
  const standin::SubkeyPath path = standin::SplitSubkeyPath(lpSubKey);
  if (path.Status != ERROR_SUCCESS) return path.Status;

  std::shared_ptr<RegistryKey> key = start.Key;
  bool created = false;
  for (const std::string& name : path.Names) {
    std::shared_ptr<RegistryKey> subkey = key->Subkey(name);
    if (subkey == nullptr) {
      if (!create) return Status(ERROR_FILE_NOT_FOUND);
      if (key->RefusesWrite) return Status(ERROR_ACCESS_DENIED);
      subkey = key->AddSubkey(name);
      created = true;
    }
    key = std::move(subkey);
  }
  REGSAM granted = 0;
  if (const LONG status = GrantRights(*key, samDesired, granted); status != ERROR_SUCCESS) return status;
  *phkResult = standin::AddRegistryHandle(OpenKey{start.Hive, key, granted});
  if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

}  // namespace

namespace standin {

void SetRegEnumKeyHookForTesting(RegistryEnumHook hook) { enum_hook = std::move(hook); }

LONG StoreRegistryValueForTesting(HKEY key, std::string_view name, DWORD type, std::string data) {
  OpenKey open;
  if (const LONG status = Resolve(key, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  open.Key->SetValue(name, type, std::move(data));
  return ERROR_SUCCESS;
}

}  // namespace standin

LONG WINAPI RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  if (phkResult == nullptr) return Status(ERROR_INVALID_PARAMETER);
  *phkResult = nullptr;
  standin::MachineRoot root = standin::ReachMachineRoot(lpMachineName, hKey);
  if (root.Status != ERROR_SUCCESS) return root.Status;
  *phkResult = standin::AddRegistryHandle(OpenKey{std::move(root.Hive), std::move(root.Key), KEY_ALL_ACCESS});
  return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
  return OpenOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/, DWORD /*dwOptions*/,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  return OpenOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  OpenKey open;
  if (const LONG status = Resolve(hKey, KEY_QUERY_VALUE, open); status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) return Status(ERROR_INVALID_PARAMETER);
  const RegistryKey& key = *open.Key;
  // Keys have no class here: the class is the empty text.
  if (lpcchClass != nullptr) {
    if (lpClass != nullptr) {
      if (*lpcchClass == 0) return Status(ERROR_MORE_DATA);
      lpClass[0] = '\0';
    }
    *lpcchClass = 0;
  }
  DWORD longest_subkey = 0;
  for (const auto& subkey : key.Subkeys()) longest_subkey = std::max(longest_subkey, subkey->Name().Utf16Length);
  DWORD longest_value_name = 0;
  DWORD longest_data = 0;
  for (const RegistryValue& value : key.Values()) {
    longest_value_name = std::max(longest_value_name, value.Name.Utf16Length);
    longest_data = std::max(longest_data, StoredDataSize(value));
  }
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(key.Subkeys().size());
  if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = longest_subkey;
  if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
  if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(key.Values().size());
  if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = longest_value_name;
  if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = longest_data;
  if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = key.LastWritten();
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
  if (const LONG status = Resolve(hKey, KEY_ENUMERATE_SUB_KEYS, open); status != ERROR_SUCCESS) return status;
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
      (lpClass != nullptr && lpcchClass == nullptr)) {
    return Status(ERROR_INVALID_PARAMETER);
  }
  const auto& subkeys = open.Key->Subkeys();
  if (dwIndex >= subkeys.size()) return Status(ERROR_NO_MORE_ITEMS);
  const RegistryKey& subkey = *subkeys[dwIndex];
  const std::string& name = subkey.Name().Text;
  // The capacity counts the terminating zero; a name that does not fit
  // leaves the buffer and the capacity as they were.
  if (name.size() + 1 > *lpcchName) return Status(ERROR_MORE_DATA);
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpcchClass != nullptr) {
    if (lpClass != nullptr && *lpcchClass > 0) lpClass[0] = '\0';
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = subkey.LastWritten();
  return ERROR_SUCCESS;
}

// The data of string types are the ANSI text as stored: no terminating
// zero is added or removed.
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  OpenKey open;
  if (const LONG status = Resolve(hKey, KEY_QUERY_VALUE, open); status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return Status(ERROR_INVALID_PARAMETER);
  const RegistryValue* value = open.Key->Value(lpValueName == nullptr ? "" : lpValueName);
  if (value == nullptr) return Status(ERROR_FILE_NOT_FOUND);
  if (lpData != nullptr && value->FetchError) return Status(*value->FetchError);
  if (lpType != nullptr) *lpType = value->Type;
  const DWORD size = static_cast<DWORD>(value->Data.size());
  if (lpData != nullptr) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return Status(ERROR_MORE_DATA);
    }
    // Registry data is handed out as stored: no terminating zero is added.
    std::memcpy(lpData, value->Data.data(), size);  // NOLINT(bugprone-not-null-terminated-result)
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

// String data whose last byte is not zero get one terminating zero, as
// Windows' ANSI function adds it; empty data stay empty. Data stored
// without a terminator (by a Unicode program, or from an export file)
// still come back as stored.
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  OpenKey open;
  if (const LONG status = Resolve(hKey, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  if (lpData == nullptr && cbData != 0) return Status(ERROR_NOACCESS);
  std::string data = cbData == 0 ? std::string() : std::string(reinterpret_cast<const char*>(lpData), cbData);
  if (IsStringType(dwType) && !data.empty() && data.back() != '\0') data.push_back('\0');
  open.Key->SetValue(lpValueName == nullptr ? "" : lpValueName, dwType, std::move(data));
  return ERROR_SUCCESS;
}

// The key must have no subkeys; the empty path deletes hKey's own key.
LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (lpSubKey == nullptr) return Status(ERROR_INVALID_PARAMETER);
  OpenKey open;
  if (const LONG status = Resolve(hKey, 0, open); status != ERROR_SUCCESS) return status;
  const standin::SubkeyPath path = standin::SplitSubkeyPath(lpSubKey);
  if (path.Status != ERROR_SUCCESS) return path.Status;
  const std::shared_ptr<RegistryKey> key = standin::FindKey(open.Key, path.Names);
  if (key == nullptr) return Status(ERROR_FILE_NOT_FOUND);
  if (key->Parent() == nullptr || key->RefusesWrite || !key->Subkeys().empty()) return Status(ERROR_ACCESS_DENIED);
  key->Parent()->RemoveSubkey(*key);
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  OpenKey open;
  if (const LONG status = Resolve(hKey, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  if (!open.Key->RemoveValue(lpValueName == nullptr ? "" : lpValueName)) return Status(ERROR_FILE_NOT_FOUND);
  return ERROR_SUCCESS;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
  OpenKey open;
  return Resolve(hKey, 0, open);
}

// Closing a predefined root is allowed and changes nothing.
LONG WINAPI RegCloseKey(HKEY hKey) {
  if (standin::IsPredefinedRegistryHandle(hKey)) return ERROR_SUCCESS;
  return standin::RemoveRegistryHandle(hKey) ? ERROR_SUCCESS : Status(ERROR_INVALID_HANDLE);
}
