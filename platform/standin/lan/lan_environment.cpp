// The LAN that the stand-in serves on Linux: the directory that
// KESTROVA_LAN names, or the sample, read with its names in the ANSI code
// page.
#include <cstdlib>
#include <iostream>
#include <string>
#include <system_error>

#include "platform/standin/lan/lan.h"
#include "platform/standin/locale/code_pages.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

// The host's names are UTF-8, as is the description; the ANSI functions
// hand out texts in the ANSI code page.
NameEncoding AnsiNames() {
  if (GetACP() == CP_UTF8) return {};
  return [ansi = IconvCodePageName(GetACP())](const std::string& utf8) { return ConvertEncoding(utf8, "UTF-8", ansi); };
}

}  // namespace

Lan LoadLanDirectory(const fs::path& directory, std::ostream& messages) {
  return LoadLanDirectory(directory, messages, AnsiNames());
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

Lan LoadLanFromEnvironment() {
  const char* named = std::getenv(kLanDirectoryVariable);
  if (named != nullptr && named[0] != '\0') return LoadLanDirectory(named, std::cerr);
  if (const std::optional<fs::path> sample = SampleLanDirectory()) return LoadLanDirectory(*sample, std::cerr);
  std::cerr << "kestrova: " << kLanDirectoryVariable
            << " is not set and the sample LAN was not found; the network is empty\n";
  return Lan{};
}

}  // namespace standin
