#include "platform/standin/registry/registry_machines.h"

#include <map>
#include <string>
#include <string_view>
#include <variant>

#include "platform/standin/lan/computer_registry.h"
#include "platform/standin/lan/lan.h"
#include "platform/standin/standin_control.h"

namespace standin {
namespace {

std::shared_ptr<RegistryHive>& LocalHive() {
  static std::shared_ptr<RegistryHive> hive;
  return hive;
}

// The computers' registries that are loaded now, by folded name. Each
// lives as long as a handle into it is open.
std::map<std::u16string, std::weak_ptr<RegistryHive>>& LoadedComputers() {
  static std::map<std::u16string, std::weak_ptr<RegistryHive>> loaded;
  return loaded;
}

std::string_view WithoutNetworkPrefix(std::string_view name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.remove_prefix(2);
  return name;
}

bool IsLocalComputer(const std::u16string& folded) {
  char own[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof own;
  if (!GetComputerNameA(own, &size)) return false;
  return CompareFolded(folded, own) == 0;
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

MachineRoot ReachMachineRoot(const char* machine, HKEY root) {
  const std::u16string folded = machine == nullptr ? std::u16string() : FoldName(WithoutNetworkPrefix(machine));
  if (machine == nullptr || machine[0] == '\0' || (!folded.empty() && IsLocalComputer(folded))) {
    std::shared_ptr<RegistryHive> hive = LocalRegistry();
    std::shared_ptr<RegistryKey> key = hive->Root(root);
    if (key == nullptr) return {static_cast<LONG>(ERROR_INVALID_HANDLE), nullptr, nullptr};
    return {ERROR_SUCCESS, hive, key};
  }
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS)
    return {static_cast<LONG>(ERROR_INVALID_HANDLE), nullptr, nullptr};

  const Computer* computer = nullptr;
  for (const Computer& candidate : CurrentLan().Computers) {
    if (CompareFolded(folded, WithoutNetworkPrefix(candidate.Name)) == 0) {
      computer = &candidate;
      break;
    }
  }
  if (folded.empty() || computer == nullptr) return {static_cast<LONG>(ERROR_BAD_NETPATH), nullptr, nullptr};
  if (computer->ConnectError) return {static_cast<LONG>(*computer->ConnectError), nullptr, nullptr};

  auto& loaded_computers = LoadedComputers();
  std::erase_if(loaded_computers, [](const auto& entry) { return entry.second.expired(); });
  std::weak_ptr<RegistryHive>& loaded = loaded_computers[folded];
  std::shared_ptr<RegistryHive> hive = loaded.lock();
  if (hive == nullptr) {
    auto outcome = LoadComputerRegistry(*computer);
    if (const LONG* status = std::get_if<LONG>(&outcome)) return {*status, nullptr, nullptr};
    hive = std::get<std::shared_ptr<RegistryHive>>(std::move(outcome));
    loaded = hive;
  }
  return {ERROR_SUCCESS, hive, hive->Root(root)};
}

int LoadedComputerRegistryCount() {
  int count = 0;
  for (const auto& [name, hive] : LoadedComputers()) count += hive.expired() ? 0 : 1;
  return count;
}

}  // namespace standin
