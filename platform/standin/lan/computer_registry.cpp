#include "platform/standin/lan/computer_registry.h"

#include <string>

#include "platform/export/export_registry.h"
#include "platform/lan/utf16_text.h"

namespace standin {
namespace {

// A key path of the description (UTF-8, below HKEY_LOCAL_MACHINE) as the
// registry takes it.
std::u16string PathBelowRoot(const std::string& utf8_path) {
  std::u16string path = lan::Utf16FromUtf8(utf8_path);
  std::size_t start = 0;
  while (start < path.size() && path[start] == u'\\') ++start;
  return path.substr(start);
}

}  // namespace

DWORD OpenComputerRegistry(const lan::Computer& computer, HKEY root, std::ostream& diagnostics,
                           std::unique_ptr<lan::RemoteRegistry>& registry) {
  regfile::ExportFaults faults;
  for (const std::string& path : computer.DeniedKeys) faults.DeniedKeys.push_back(PathBelowRoot(path));
  for (const lan::FailingValue& failing : computer.FailingValues) {
    faults.FailingValues.push_back(
        {PathBelowRoot(failing.KeyPath), lan::Utf16FromUtf8(failing.ValueName), failing.Error});
  }
  return regfile::OpenExportRegistry(computer.RegistryFile, root, computer.CodePage, faults, diagnostics, registry);
}

}  // namespace standin
