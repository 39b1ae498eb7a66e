#include "tests/support/registry_backend.h"

#include <gtest/gtest.h>

#include "tests/support/reg_import.h"

namespace {

std::vector<RegistryBackend*>& Backends() {
  static std::vector<RegistryBackend*> backends;
  return backends;
}

// UTF-8 to UTF-16LE, for writing version 5 test files; the tests' texts
// are valid UTF-8.
std::string Utf16leFromUtf8(std::string_view utf8) {
  std::string wide;
  auto put = [&wide](unsigned unit) {
    wide.push_back(static_cast<char>(unit & 0xFF));
    wide.push_back(static_cast<char>(unit >> 8));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    unsigned code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra && i + static_cast<std::size_t>(k) < utf8.size(); ++k) {
      code = code << 6 | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (code >= 0x10000) {
      put(0xD800 | ((code - 0x10000) >> 10));
      put(0xDC00 | ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
  }
  return wide;
}

}  // namespace

const std::vector<RegistryBackend*>& RegistryBackends() { return Backends(); }

bool RegisterRegistryBackend(RegistryBackend* backend) {
  Backends().push_back(backend);
  return true;
}

std::string ContractPath(std::string_view subpath) {
  std::string path = kContractArea;
  if (!subpath.empty()) {
    path += '\\';
    path += subpath;
  }
  return path;
}

void SeedRegistry(const RegistryBackend& backend, std::string_view reg_text) {
  const regfile::ParseResult parsed =
      regfile::ParseRegFile(reg_text, [&backend](std::string_view wide) { return backend.AnsiFromUtf16le(wide); });
  ASSERT_FALSE(parsed.Error) << "line " << parsed.Error->Line << ": " << parsed.Error->Message;
  ASSERT_TRUE(parsed.Skipped.empty()) << "line " << parsed.Skipped[0].Line << ": " << parsed.Skipped[0].Message;
  const auto failure = regfile::ImportOperations(parsed.Operations);
  ASSERT_FALSE(failure) << "line " << failure->Line << ": status " << failure->Error;
}

std::string Regedit4(std::string_view body) { return "REGEDIT4\r\n\r\n" + std::string(body); }

std::string Regedit5(std::string_view utf8_body) {
  return "\xFF\xFE" + Utf16leFromUtf8("Windows Registry Editor Version 5.00\r\n\r\n" + std::string(utf8_body));
}
