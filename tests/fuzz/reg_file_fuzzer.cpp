// Feeds arbitrary bytes to the registry export parser and applies what it
// reads to a registry in memory, as the stand-in does with a computer's
// file: neither may crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/export/reg_file.h"
#include "platform/standin/lan/computer_registry.h"
#include "platform/standin/locale/code_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const regfile::ParseResult result = regfile::ParseRegFile(bytes, standin::AnsiFromUtf16le);
  standin::RegistryHive hive({HKEY_LOCAL_MACHINE, HKEY_USERS});
  for (const regfile::Operation& operation : result.Operations) {
    if (standin::ApplyToHive(hive, operation)) break;
  }
  return 0;
}
