// Connections to LAN computers' registries, made through the LAN in use
// (lan_in_use.h). A connection lives as long as a handle into it is open.
#pragma once

#include <memory>

#include "platform/lan/lan_source.h"

namespace standin {

class LanConnection {
 public:
  explicit LanConnection(std::unique_ptr<lan::RemoteRegistry> registry);
  ~LanConnection();
  LanConnection(const LanConnection&) = delete;
  LanConnection& operator=(const LanConnection&) = delete;

  lan::RemoteRegistry& Registry() const { return *registry_; }

 private:
  std::unique_ptr<lan::RemoteRegistry> registry_;
};

// Connects to the registry of the LAN computer that machine (ANSI, with or
// without two leading backslashes) names, at root: HKEY_LOCAL_MACHINE and
// HKEY_USERS alone (ERROR_INVALID_HANDLE for others); ERROR_BAD_NETPATH for
// an empty name; the LAN's code for a computer that cannot be reached.
LONG ConnectLanRegistry(const char* machine, HKEY root, std::shared_ptr<LanConnection>& connection);

// The connections open now.
int LanConnectionCount();

}  // namespace standin
