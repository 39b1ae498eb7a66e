// The locale, code-page and version facts that tests put in place of the
// host's. The program itself calls none of this.
#pragma once

#include <optional>
#include <string>

#include "platform/windows_api.h"

namespace standin {

// The locale and code-page facts that the stand-in reports. Each field
// left empty takes its value from the host (see code_pages.cpp).
struct LocaleFacts {
  std::optional<DWORD> PlatformId{};                 // GetVersionExA's dwPlatformId
  std::optional<bool> VersionFails{};                // GetVersionExA fails when true
  std::optional<LCID> ThreadLocale{};                // GetThreadLocale (0 allowed)
  std::optional<std::string> DefaultAnsiCodePage{};  // GetLocaleInfoA text
  std::optional<UINT> AnsiCodePage{};                // GetACP
  std::optional<UINT> OemCodePage{};                 // GetOEMCP
};
void SetLocaleFactsForTesting(const LocaleFacts& facts);

}  // namespace standin
