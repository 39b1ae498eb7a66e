#include "platform/standin/registry/lan_connections.h"

#include <string_view>

#include "platform/lan/lan_model.h"
#include "platform/standin/lan/lan_in_use.h"
#include "platform/standin/locale/code_pages.h"

namespace standin {
namespace {

int open_connections = 0;

}  // namespace

LanConnection::LanConnection(std::unique_ptr<lan::RemoteRegistry> registry) : registry_(std::move(registry)) {
  ++open_connections;
}

LanConnection::~LanConnection() { --open_connections; }

LONG ConnectLanRegistry(const char* machine, HKEY root, std::shared_ptr<LanConnection>& connection) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  const std::string_view name = lan::WithoutNetworkPrefix(machine == nullptr ? "" : machine);
  if (name.empty()) return static_cast<LONG>(ERROR_BAD_NETPATH);
  std::unique_ptr<lan::RemoteRegistry> registry;
  const DWORD status = LanInUse().ConnectRegistry(Utf16FromAnsi(name), root, registry);
  if (status != NO_ERROR) return static_cast<LONG>(status);
  if (registry == nullptr) return static_cast<LONG>(ERROR_BAD_NETPATH);
  connection = std::make_shared<LanConnection>(std::move(registry));
  return ERROR_SUCCESS;
}

int LanConnectionCount() { return open_connections; }

}  // namespace standin
