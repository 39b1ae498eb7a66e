#include "platform/standin/lan/computer_registry.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/lan/utf16_text.h"
#include "platform/standin/lan/hive_registry.h"
#include "platform/standin/locale/code_pages.h"

namespace standin {
namespace {

// One message line, written whole.
void Report(std::ostream& diagnostics, const std::string& message) { diagnostics << "kestrova: " + message + "\n"; }

// The description's names are UTF-8; the keys in memory are ANSI.
std::string Ansi(const std::string& utf8) { return AnsiFromUtf16(lan::Utf16FromUtf8(utf8)); }

std::vector<std::string> PathBelowRoot(const std::string& utf8_path) {
  const std::string path = Ansi(utf8_path);
  std::size_t start = 0;
  while (start < path.size() && path[start] == '\\') ++start;
  return SplitSubkeyPath(path.c_str() + start).Names;
}

void MarkDeniedKeysAndFailingValues(RegistryHive& hive, const lan::Computer& computer) {
  const std::shared_ptr<RegistryKey> machine = hive.Root(HKEY_LOCAL_MACHINE);
  for (const std::string& path : computer.DeniedKeys) {
    if (const auto key = FindKey(machine, PathBelowRoot(path))) key->RefusesWrite = true;
  }
  for (const lan::FailingValue& failing : computer.FailingValues) {
    if (const auto key = FindKey(machine, PathBelowRoot(failing.KeyPath))) {
      if (RegistryValue* value = key->Value(Ansi(failing.ValueName))) value->FetchError = failing.Error;
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

std::variant<std::shared_ptr<RegistryHive>, LONG> LoadComputerRegistry(const lan::Computer& computer,
                                                                       std::ostream& diagnostics) {
  auto hive = std::make_shared<RegistryHive>(std::vector<HKEY>{HKEY_LOCAL_MACHINE, HKEY_USERS});
  if (!computer.RegistryFile.empty()) {
    const std::string file_name = computer.RegistryFile.string();
    std::ifstream file(computer.RegistryFile, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    if (!file.is_open() || file.bad()) {
      Report(diagnostics, file_name + ": cannot be read");
      return static_cast<LONG>(ERROR_REGISTRY_CORRUPT);
    }
    const regfile::ParseResult parsed = regfile::ParseRegFile(contents.str(), AnsiFromUtf16le);
    if (parsed.Error) {
      Report(diagnostics, file_name + ":" + std::to_string(parsed.Error->Line) + ": " + parsed.Error->Message);
      return static_cast<LONG>(ERROR_REGISTRY_CORRUPT);
    }
    HiveCursor cursor;
    for (const regfile::Operation& operation : parsed.Operations) {
      if (const auto problem = ApplyToHive(*hive, operation, &cursor)) {
        Report(diagnostics, file_name + ":" + std::to_string(operation.Line) + ": " + *problem);
        return static_cast<LONG>(ERROR_REGISTRY_CORRUPT);
      }
    }
  }
  MarkDeniedKeysAndFailingValues(*hive, computer);
  return hive;
}

DWORD OpenComputerRegistry(const lan::Computer& computer, HKEY root, std::ostream& diagnostics,
                           std::unique_ptr<lan::RemoteRegistry>& registry) {
  auto outcome = LoadComputerRegistry(computer, diagnostics);
  if (const LONG* status = std::get_if<LONG>(&outcome)) return static_cast<DWORD>(*status);
  std::shared_ptr<RegistryHive> hive = std::get<std::shared_ptr<RegistryHive>>(std::move(outcome));
  std::shared_ptr<RegistryKey> key = hive->Root(root);
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  registry = std::make_unique<HiveRegistry>(std::move(hive), std::move(key));
  return ERROR_SUCCESS;
}

}  // namespace standin
