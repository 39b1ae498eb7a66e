// UTF-16LE bytes (the strings of a version 5 registry export) in the ANSI
// code page of the Windows installation, through WideCharToMultiByte; a
// character that the code page lacks becomes what Windows substitutes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_api.h"

namespace testing_support {

inline std::optional<std::string> WindowsAnsiFromUtf16le(std::string_view utf16le) {
  if (utf16le.size() % 2 != 0) return std::nullopt;
  if (utf16le.empty()) return std::string();
  std::wstring wide(utf16le.size() / 2, L'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                   static_cast<unsigned char>(utf16le[2 * i + 1]) << 8);
  }
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), length, nullptr, nullptr);
  return ansi;
}

}  // namespace testing_support
