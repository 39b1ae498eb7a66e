// Feeds arbitrary file bytes to the registry that reads an export file in
// place, then walks every key and asks every key for every value name that
// the file holds, with and without its data, as the inventory and the
// registry functions do: nothing may crash, hang or read out of bounds,
// and the data fetched have the size that the value tells.
// The size of the input picks the code page, so that text read byte by
// byte and text decoded before parsing (code page 932) are both covered.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/export/export_registry.h"
#include "platform/export/reg_file.h"

namespace {

constexpr std::size_t kMostKeys = 512;
constexpr std::size_t kMostNames = 64;

// The value names that the file's lines hold, as UTF-16 units, unit for
// byte in a file without a byte-order mark.
std::vector<std::u16string> ValueNames(std::string_view bytes) {
  std::vector<std::u16string> names = {u"", u"DisplayName"};
  const std::optional<regfile::ExportHeader> header = regfile::ReadExportHeader(bytes);
  if (!header) return names;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  auto collect = [&](const auto& text) {
    regfile::ParsedLine line;
    for (std::size_t pos = header->BodyStart; pos < text.Size && names.size() < kMostNames; pos = line.Next) {
      regfile::ParseLine(text, pos, text.Size, line);
      if (line.Kind != regfile::LineKind::kValue) continue;
      std::u16string name;
      for (std::size_t i = line.Name.Begin; i < line.Name.End; ++i) name.push_back(text[i]);
      names.push_back(std::move(name));
    }
  };
  if (header->WideText) {
    collect(regfile::Utf16Text{data + 2, header->Units});
  } else {
    collect(regfile::ByteText{data, header->Units});
  }
  return names;
}

void Walk(lan::RemoteRegistry& registry, lan::RemoteRegistry::KeyId key, const std::vector<std::u16string>& names,
          std::size_t& visited) {
  if (++visited > kMostKeys) return;
  lan::KeyFacts facts;
  registry.QueryKeyFacts(key, facts);
  std::string data;
  for (const std::u16string& name : names) {
    DWORD type = 0;
    DWORD size = 0;
    const DWORD described = registry.QueryValue(key, name, false, type, size, data);
    DWORD fetched_size = 0;
    // The size is counted without the data being decoded: the data
    // fetched must have that size.
    if (registry.QueryValue(key, name, true, type, fetched_size, data) == NO_ERROR &&
        (described != NO_ERROR || fetched_size != size || data.size() != size)) {
      std::abort();
    }
  }
  std::u16string subkey;
  FILETIME written{};
  for (DWORD index = 0; registry.EnumKey(key, index, subkey, written) == NO_ERROR; ++index) {
    lan::RemoteRegistry::KeyId child = 0;
    if (registry.OpenKey(key, subkey, KEY_ALL_ACCESS, child) != NO_ERROR) continue;
    Walk(registry, child, names, visited);
    registry.CloseKey(child);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int file = memfd_create("export", 0);
  if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const char* const encodings[] = {"CP1252", "CP932", "UTF-8"};
  regfile::ExportFaults faults;
  faults.DeniedKeys = {u"Software"};
  faults.FailingValues = {{u"Software\\Microsoft", u"DisplayName", ERROR_IO_DEVICE}};
  std::ostringstream diagnostics;  // outlives the registry, which reports when it goes
  std::unique_ptr<lan::RemoteRegistry> registry;
  if (regfile::OpenExportRegistry("/proc/self/fd/" + std::to_string(file), HKEY_LOCAL_MACHINE, encodings[size % 3],
                                  faults, diagnostics, registry) != NO_ERROR) {
    return 0;
  }
  std::size_t visited = 0;
  Walk(*registry, lan::RemoteRegistry::kRootKey,
       ValueNames(std::string_view(reinterpret_cast<const char*>(data), size)), visited);
  return 0;
}
