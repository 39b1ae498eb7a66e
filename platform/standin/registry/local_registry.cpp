#include "platform/standin/registry/local_registry.h"

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
  std::string_view name(machine);
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.remove_prefix(2);
  if (name.empty()) return false;
  char own[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof own;
  if (!GetComputerNameA(own, &size)) return false;
  return CompareFolded(FoldName(name), own) == 0;
}

}  // namespace standin
