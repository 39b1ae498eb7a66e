#include "platform/standin/lan/computer_registry.h"

#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/standin/locale/code_pages.h"

namespace standin {
namespace {

// One message line on descriptor 2, written whole.
void WriteDiagnostic(const std::string& message) {
  const std::string line = "kestrova: " + message + "\n";
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t written = write(2, line.data() + done, line.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
}

std::vector<std::string> PathBelowRoot(const std::string& path) {
  std::size_t start = 0;
  while (start < path.size() && path[start] == '\\') ++start;
  return SplitSubkeyPath(path.c_str() + start).Names;
}

void MarkDeniedKeysAndFailingValues(RegistryHive& hive, const Computer& computer) {
  const std::shared_ptr<RegistryKey> machine = hive.Root(HKEY_LOCAL_MACHINE);
  for (const std::string& path : computer.DeniedKeys) {
    if (const auto key = FindKey(machine, PathBelowRoot(path))) key->RefusesWrite = true;
  }
  for (const FailingValue& failing : computer.FailingValues) {
    if (const auto key = FindKey(machine, PathBelowRoot(failing.KeyPath))) {
      if (RegistryValue* value = key->Value(failing.ValueName)) value->FetchError = failing.Error;
    }
  }
}

}  // namespace

std::optional<std::string> ApplyToHive(RegistryHive& hive, const regfile::Operation& operation, HiveCursor* cursor) {
  const bool is_deletion =
      operation.Kind == regfile::OperationKind::kDeleteKey || operation.Kind == regfile::OperationKind::kDeleteValue;
  if (cursor != nullptr && is_deletion) *cursor = HiveCursor{};
  if (cursor != nullptr && !is_deletion && cursor->Key != nullptr && cursor->Root == operation.KeyRoot &&
      cursor->Path == operation.KeyPath) {
    if (operation.Kind == regfile::OperationKind::kSetValue) {
      cursor->Key->SetValue(operation.ValueName, operation.Type, operation.Data);
    }
    return std::nullopt;
  }
  std::shared_ptr<RegistryKey> key = hive.Root(regfile::RootHandle(operation.KeyRoot));
  if (key == nullptr) return std::nullopt;
  const SubkeyPath path = SplitSubkeyPath(operation.KeyPath.c_str());
  if (path.Status != ERROR_SUCCESS) return "invalid key path '" + operation.KeyPath + "'";

  if (is_deletion) {
    key = FindKey(key, path.Names);
    if (key == nullptr) return std::nullopt;
    if (operation.Kind == regfile::OperationKind::kDeleteValue) {
      key->RemoveValue(operation.ValueName);
    } else if (key->Parent() != nullptr) {
      key->Parent()->RemoveSubkey(*key);
    }
    return std::nullopt;
  }
  for (const std::string& name : path.Names) {
    std::shared_ptr<RegistryKey> subkey = key->Subkey(name);
    key = subkey != nullptr ? subkey : key->AddSubkey(name);
  }
  if (operation.Kind == regfile::OperationKind::kSetValue)
    key->SetValue(operation.ValueName, operation.Type, operation.Data);
  if (cursor != nullptr) *cursor = HiveCursor{operation.KeyRoot, operation.KeyPath, key};
  return std::nullopt;
}

std::variant<std::shared_ptr<RegistryHive>, LONG> LoadComputerRegistry(const Computer& computer) {
  auto hive = std::make_shared<RegistryHive>(std::vector<HKEY>{HKEY_LOCAL_MACHINE, HKEY_USERS});
  if (!computer.RegistryFile.empty()) {
    const std::string file_name = computer.RegistryFile.string();
    std::ifstream file(computer.RegistryFile, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    if (!file.is_open() || file.bad()) {
      WriteDiagnostic(file_name + ": cannot be read");
      return static_cast<LONG>(ERROR_REGISTRY_CORRUPT);
    }
    const regfile::ParseResult parsed = regfile::ParseRegFile(contents.str(), AnsiFromUtf16le);
    if (parsed.Error) {
      WriteDiagnostic(file_name + ":" + std::to_string(parsed.Error->Line) + ": " + parsed.Error->Message);
      return static_cast<LONG>(ERROR_REGISTRY_CORRUPT);
    }
    HiveCursor cursor;
    for (const regfile::Operation& operation : parsed.Operations) {
      if (const auto problem = ApplyToHive(*hive, operation, &cursor)) {
        WriteDiagnostic(file_name + ":" + std::to_string(operation.Line) + ": " + *problem);
        return static_cast<LONG>(ERROR_REGISTRY_CORRUPT);
      }
    }
  }
  MarkDeniedKeysAndFailingValues(*hive, computer);
  return hive;
}

}  // namespace standin
