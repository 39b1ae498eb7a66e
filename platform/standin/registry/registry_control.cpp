// The registry's settings for tests.
#include "platform/standin/registry/registry_handles.h"
#include "platform/standin/registry/registry_machines.h"
#include "platform/standin/standin_control.h"

namespace standin {

int OpenRegistryHandleCount() { return RegistryHandleCount(); }

void ResetRegistryForTesting() {
  ClearRegistryHandles();
  ResetLocalRegistry();
  SetRegEnumKeyHookForTesting(nullptr);
}

}  // namespace standin
