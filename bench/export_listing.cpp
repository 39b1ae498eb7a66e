// Lists the DisplayName of every application of every computer of a LAN
// directory through the registry read in place from each export file,
// as the inventory reads it (open the uninstall key, list its subkeys,
// open each and ask for its DisplayName: its size, then its data), one
// name a line on standard output in UTF-8. The benchmark runs it to
// measure the reader alone.
//
//   export_listing DIRECTORY
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "platform/export/export_registry.h"

namespace {

constexpr std::u16string_view kUninstall = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// UTF-16LE data as UTF-8, up to the first zero, and a line feed.
void PutUtf8(const std::string& data, std::string& line) {
  line.resize(data.size() * 3 / 2 + 1);
  char* out = line.data();
  std::size_t i = 0;
  // ASCII first, the usual name.
  for (; i + 1 < data.size() && data[i + 1] == 0 && data[i] > 0; i += 2) *out++ = data[i];
  for (; i + 1 < data.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(data[i]) | static_cast<unsigned char>(data[i + 1]) << 8;
    if (unit == 0) break;
    if (unit < 0x80) {
      *out++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
      *out++ = static_cast<char>(0xC0 | unit >> 6);
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | unit >> 12);
      *out++ = static_cast<char>(0x80 | (unit >> 6 & 0x3F));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  *out++ = '\n';
  line.resize(static_cast<std::size_t>(out - line.data()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: export_listing DIRECTORY\n");
    return 2;
  }
  std::u16string path(kUninstall);
  std::u16string subkey;
  std::string data;
  std::string line;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    const std::filesystem::path& file = entry.path();
    if (file.extension() != ".reg") continue;
    std::unique_ptr<lan::RemoteRegistry> registry;
    if (regfile::OpenExportRegistry(file, HKEY_LOCAL_MACHINE, "", {}, std::cerr, registry) != NO_ERROR) continue;
    lan::RemoteRegistry::KeyId uninstall = 0;
    if (registry->OpenKey(lan::RemoteRegistry::kRootKey, kUninstall, KEY_ALL_ACCESS, uninstall) != NO_ERROR) continue;
    FILETIME written{};
    for (DWORD index = 0; registry->EnumKey(uninstall, index, subkey, written) == NO_ERROR; ++index) {
      path.resize(kUninstall.size());
      path += u'\\';
      path += subkey;
      lan::RemoteRegistry::KeyId application = 0;
      if (registry->OpenKey(lan::RemoteRegistry::kRootKey, path, KEY_ALL_ACCESS, application) != NO_ERROR) continue;
      DWORD type = 0;
      DWORD size = 0;
      if (registry->QueryValue(application, u"DisplayName", false, type, size, data) == NO_ERROR &&
          registry->QueryValue(application, u"DisplayName", true, type, size, data) == NO_ERROR) {
        PutUtf8(data, line);
        std::fwrite(line.data(), 1, line.size(), stdout);
      }
      registry->CloseKey(application);
    }
  }
  return 0;
}
