// Opening, creating, deleting, flushing and closing registry keys:
// RegOpenKeyExA, RegCreateKeyExA, RegDeleteKeyA, RegFlushKey, RegCloseKey.
// Each answers as Windows does for the same call: the same status codes
// for the same arguments.
#include <string>
#include <vector>

#include "platform/standin/registry/registry_access.h"

namespace {

using standin::LanKey;
using standin::LocalKey;
using standin::OpenKey;
using standin::RegistryKey;
using standin::Status;

// The rights granted on a local key, or ERROR_ACCESS_DENIED. A key that
// refuses writing grants KEY_READ at most; MAXIMUM_ALLOWED takes what is
// there.
LONG GrantRights(const RegistryKey& key, REGSAM desired, REGSAM& granted) {
  const REGSAM requested = standin::RequestedRights(desired);
  const REGSAM allowed = key.RefusesWrite ? KEY_READ : KEY_ALL_ACCESS;
  if ((requested & ~allowed) != 0) return Status(ERROR_ACCESS_DENIED);
  granted = requested;
  if (desired & MAXIMUM_ALLOWED) granted |= allowed;
  return ERROR_SUCCESS;
}

LONG OpenOrCreateLocal(const LocalKey& start, const std::vector<std::string>& names, REGSAM desired, bool create,
                       PHKEY result, LPDWORD disposition) {
  std::shared_ptr<RegistryKey> key = start.Key;
  bool created = false;
  for (const std::string& name : names) {
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
  if (const LONG status = GrantRights(*key, desired, granted); status != ERROR_SUCCESS) return status;
  *result = standin::AddRegistryHandle(OpenKey{LocalKey{start.Hive, key}, granted});
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

// A LAN computer's key is opened for reading at most: MAXIMUM_ALLOWED asks
// for reading, and a key that does not exist cannot be created.
LONG OpenLan(const LanKey& start, const char* sub_key, REGSAM desired, bool create, PHKEY result, LPDWORD disposition) {
  standin::LanBuffers& buffers = standin::LanScratch();
  if (const LONG status = standin::LanPath(sub_key, buffers); status != ERROR_SUCCESS) return status;
  REGSAM rights = standin::RequestedRights(desired);
  if (desired & MAXIMUM_ALLOWED) rights |= KEY_READ;
  lan::RemoteRegistry::KeyId key = lan::RemoteRegistry::kRootKey;
  const DWORD status = start.Connection->Registry().OpenKey(start.Key, buffers.Wide, rights, key);
  if (status == ERROR_FILE_NOT_FOUND && create) return Status(ERROR_ACCESS_DENIED);
  if (status != NO_ERROR) return Status(status);
  *result = standin::AddRegistryHandle(OpenKey{LanKey{start.Connection, key}, rights});
  if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

// Opens or creates the key at lpSubKey below hKey.
LONG OpenOrCreate(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, bool create, PHKEY phkResult,
                  LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return Status(ERROR_INVALID_PARAMETER);
  *phkResult = nullptr;
  OpenKey start;
  if (const LONG status = standin::Resolve(hKey, 0, start); status != ERROR_SUCCESS) return status;
  if (const auto* lan_key = std::get_if<LanKey>(&start.Target)) {
    return OpenLan(*lan_key, lpSubKey, samDesired, create, phkResult, lpdwDisposition);
  }
  const standin::SubkeyPath path = standin::SplitSubkeyPath(lpSubKey);
  if (path.Status != ERROR_SUCCESS) return path.Status;
  return OpenOrCreateLocal(std::get<LocalKey>(start.Target), path.Names, samDesired, create, phkResult,
                           lpdwDisposition);
}

}  // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
  return OpenOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/, DWORD /*dwOptions*/,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  return OpenOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

// The key must have no subkeys; the empty path deletes hKey's own key.
LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (lpSubKey == nullptr) return Status(ERROR_INVALID_PARAMETER);
  OpenKey open;
  if (const LONG status = standin::Resolve(hKey, 0, open); status != ERROR_SUCCESS) return status;
  const standin::SubkeyPath path = standin::SplitSubkeyPath(lpSubKey);
  if (path.Status != ERROR_SUCCESS) return path.Status;
  const auto* local = std::get_if<LocalKey>(&open.Target);
  if (local == nullptr) return Status(ERROR_ACCESS_DENIED);
  const std::shared_ptr<RegistryKey> key = standin::FindKey(local->Key, path.Names);
  if (key == nullptr) return Status(ERROR_FILE_NOT_FOUND);
  if (key->Parent() == nullptr || key->RefusesWrite || !key->Subkeys().empty()) return Status(ERROR_ACCESS_DENIED);
  key->Parent()->RemoveSubkey(*key);
  return ERROR_SUCCESS;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
  OpenKey open;
  return standin::Resolve(hKey, 0, open);
}

// Closing a predefined root is allowed and changes nothing. A LAN
// computer's connection closes with the last handle into it.
LONG WINAPI RegCloseKey(HKEY hKey) {
  if (standin::IsPredefinedRegistryHandle(hKey)) return ERROR_SUCCESS;
  const std::optional<OpenKey> closed = standin::TakeRegistryHandle(hKey);
  if (!closed) return Status(ERROR_INVALID_HANDLE);
  if (const auto* lan_key = std::get_if<LanKey>(&closed->Target);
      lan_key && lan_key->Key != lan::RemoteRegistry::kRootKey) {
    lan_key->Connection->Registry().CloseKey(lan_key->Key);
  }
  return ERROR_SUCCESS;
}
