// The registry's settings for tests.
#include "platform/standin/registry/registry_control.h"
#include "platform/standin/registry/lan_connections.h"
#include "platform/standin/registry/local_registry.h"
#include "platform/standin/registry/registry_handles.h"

namespace standin {

int OpenRegistryHandleCount() { return RegistryHandleCount(); }

int OpenLanConnectionCount() { return LanConnectionCount(); }

void ResetRegistryForTesting() {
  ClearRegistryHandles();
  ResetLocalRegistry();
  SetRegEnumKeyHookForTesting(nullptr);
}

}  // namespace standin
