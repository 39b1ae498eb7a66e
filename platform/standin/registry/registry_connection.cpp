// RegConnectRegistryA: the local registry for a null or empty name and for
// the local computer's own name (local_registry.h), else the registry of
// a computer of the LAN in use (lan_connections.h). The program connects
// to each computer once, as it lists them in turn: each call with a name
// is the next computer on the program's status line (program_status.h).
#include "platform/standin/console/program_status.h"
#include "platform/standin/registry/local_registry.h"
#include "platform/standin/registry/registry_access.h"

using standin::Status;

LONG WINAPI RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  if (phkResult == nullptr) return Status(ERROR_INVALID_PARAMETER);
  *phkResult = nullptr;
  if (lpMachineName != nullptr && lpMachineName[0] != '\0') standin::NoteComputerListed(lpMachineName);
  if (standin::NamesLocalComputer(lpMachineName)) {
    std::shared_ptr<standin::RegistryHive> hive = standin::LocalRegistry();
    std::shared_ptr<standin::RegistryKey> root = hive->Root(hKey);
    if (root == nullptr) return Status(ERROR_INVALID_HANDLE);
    *phkResult = standin::AddRegistryHandle({standin::LocalKey{std::move(hive), std::move(root)}, KEY_ALL_ACCESS});
    return ERROR_SUCCESS;
  }
  std::shared_ptr<standin::LanConnection> connection;
  if (const LONG status = standin::ConnectLanRegistry(lpMachineName, hKey, connection); status != ERROR_SUCCESS) {
    return status;
  }
  *phkResult = standin::AddRegistryHandle(
      {standin::LanKey{std::move(connection), lan::RemoteRegistry::kRootKey}, KEY_ALL_ACCESS});
  return ERROR_SUCCESS;
}
