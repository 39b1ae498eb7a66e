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

#include "tests/support/reg_import.h"
#include "tests/support/windows_ansi.h"

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
  const regfile::ParseResult parsed = regfile::ParseRegFile(bytes, testing_support::WindowsAnsiFromUtf16le);
  if (parsed.Error) {
    std::fprintf(stderr, "import_registry: %s:%d: %s\n", argv[1], parsed.Error->Line, parsed.Error->Message.c_str());
    return 1;
  }
  for (const regfile::ParseError& skipped : parsed.Skipped) {
    std::fprintf(stderr, "import_registry: %s:%d: %s\n", argv[1], skipped.Line, skipped.Message.c_str());
  }
  if (const auto failure = regfile::ImportOperations(parsed.Operations)) {
    std::fprintf(stderr, "import_registry: %s:%d: the registry refused with %ld\n", argv[1], failure->Line,
                 static_cast<long>(failure->Error));
    return 1;
  }
  return 0;
}
