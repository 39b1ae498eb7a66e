// Applies a registry export file to the registry of the Windows (Wine)
// installation it runs in, with the same parser and importer that seed the
// stand-in's registries, so that both builds read the same keys and
// values.
//   import_registry FILE
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/reg_file.h"
#include "platform/reg_import.h"

namespace {

// UTF-16LE text in the ANSI code page, '?' for what it lacks.
std::optional<std::string> AnsiFromUtf16le(std::string_view utf16le) {
  if (utf16le.empty()) return std::string();
  const std::wstring wide(reinterpret_cast<const wchar_t*>(utf16le.data()), utf16le.size() / 2);
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), length, nullptr, nullptr);
  return ansi;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: import_registry FILE\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.is_open() || file.bad()) {
    std::fprintf(stderr, "import_registry: cannot read %s\n", argv[1]);
    return 1;
  }
  const regfile::ParseResult parsed = regfile::ParseRegFile(bytes, AnsiFromUtf16le);
  if (parsed.Error) {
    std::fprintf(stderr, "import_registry: %s:%d: %s\n", argv[1], parsed.Error->Line, parsed.Error->Message.c_str());
    return 1;
  }
  if (const auto failure = regfile::ImportOperations(parsed.Operations)) {
    std::fprintf(stderr, "import_registry: %s:%d: the registry refused with %ld\n", argv[1], failure->Line,
                 static_cast<long>(failure->Error));
    return 1;
  }
  return 0;
}
