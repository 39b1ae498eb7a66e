#include "platform/standin/lan/lan_selection.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/lan/directory_lan_source.h"
#include "platform/lan/lan_directory_reader.h"
#include "platform/lan/utf16_text.h"
#include "platform/smb/smb_network_module.h"
#include "platform/standin/console/program_status.h"
#include "platform/standin/lan/computer_registry.h"
#include "platform/standin/lan/smb_network_loader.h"
#include "platform/standin/locale/code_pages.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

// File names that are not UTF-8 are taken in the ANSI code page, which
// follows the host's locale as its file names do.
lan::Lan LoadDirectory(const fs::path& directory, std::ostream& diagnostics) {
  return lan::LoadLanDirectory(directory, diagnostics,
                               [](std::string_view bytes) { return lan::Utf8FromUtf16(Utf16FromAnsi(bytes)); });
}

}  // namespace

std::unique_ptr<lan::LanSource> ServeLanModel(lan::Lan model, std::ostream& diagnostics) {
  return std::make_unique<lan::DirectoryLanSource>(std::move(model), OpenComputerRegistry, diagnostics);
}

std::optional<fs::path> SampleLanDirectory() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path installed = program.parent_path().parent_path() / "share" / "kestrova" / "lan";
    if (fs::is_directory(installed, error)) return installed;
  }
  // The build passes in where the source tree keeps the sample.
  const fs::path source_tree = KESTROVA_SAMPLE_LAN_DIR;
  if (fs::is_directory(source_tree, error)) return source_tree;
  return std::nullopt;
}

std::unique_ptr<lan::LanSource> OpenLanFromEnvironment(std::ostream& diagnostics, lan::ProgressReport& progress) {
  const char* named = std::getenv(kLanVariable);
  if (named != nullptr && named[0] != '\0') {
    // smb:// (and smb://NAME) is the real network; any other value names a
    // LAN directory.
    if (smb::NamesSmbNetwork(named)) {
      if (std::unique_ptr<lan::LanSource> network = LoadSmbNetwork(diagnostics, progress)) return network;
      return ServeLanModel(lan::Lan{}, diagnostics);
    }
    return ServeLanModel(LoadDirectory(named, diagnostics), diagnostics);
  }
  if (const std::optional<fs::path> sample = SampleLanDirectory()) {
    return ServeLanModel(LoadDirectory(*sample, diagnostics), diagnostics);
  }
  diagnostics << "kestrova: " << kLanVariable << " is not set and the sample LAN was not found; the network is empty\n";
  return ServeLanModel(lan::Lan{}, diagnostics);
}

std::unique_ptr<lan::LanSource> OpenProgramLan() {
  StartProgramStatus();
  return OpenLanFromEnvironment(ProgramDiagnostics(), ProgramProgress());
}

}  // namespace standin
