#include "platform/standin/registry/local_registry.h"

#include "platform/lan/lan_model.h"

#include <string>
#include <string_view>

namespace standin {
namespace {

std::shared_ptr<RegistryHive>& LocalHive() {
  static std::shared_ptr<RegistryHive> hive;
  return hive;
}

}  // namespace

std::shared_ptr<RegistryHive> LocalRegistry() {
  std::shared_ptr<RegistryHive>& hive = LocalHive();
  if (hive == nullptr) {
    hive = std::make_shared<RegistryHive>(
        std::vector<HKEY>{HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS});
  }
  return hive;
}

void ResetLocalRegistry() { LocalHive().reset(); }

bool NamesLocalComputer(const char* machine) {
  if (machine == nullptr || machine[0] == '\0') return true;
  const std::string_view name = lan::WithoutNetworkPrefix(machine);
  if (name.empty()) return false;
  char own[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof own;
  if (!GetComputerNameA(own, &size)) return false;
  return CompareFolded(FoldName(name), own) == 0;
}

}  // namespace standin
