#include "registry/startup_facts.h"

#include <cstring>
#include <optional>

DWORD PlatformIdentifier = 0;
bool DoubleByteLocale = false;

namespace {

// Primary languages whose locales are never taken as double-byte ones:
// neutral, Danish, German, English, Spanish, Finnish, French, Italian,
// Dutch, Norwegian, Portuguese and Swedish.
constexpr WORD kSingleByteLanguages[] = {0, 6, 7, 9, 10, 11, 12, 16, 19, 20, 22, 29};

// A text of decimal digits as its number; nullopt for anything else.
std::optional<UINT> DecimalNumber(const char* text) {
  if (*text == '\0') return std::nullopt;
  UINT value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return std::nullopt;
    value = value * 10 + static_cast<UINT>(*text - '0');
  }
  return value;
}

// The default ANSI code page of locale has at least one lead-byte range.
bool HasLeadBytes(LCID locale) {
  char text[7] = {};
  if (GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof text) == 0) text[0] = '\0';
  text[sizeof text - 1] = '\0';
  const UINT code_page = DecimalNumber(text).value_or(GetACP());
  CPINFO info{};
  if (!GetCPInfo(code_page, &info)) return false;
  return info.LeadByte[0] != 0 || info.LeadByte[1] != 0;
}

}  // namespace

void EstablishStartupFacts() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  PlatformIdentifier = GetVersionExA(&version) ? version.dwPlatformId : 0;

  DoubleByteLocale = false;
  if (PlatformIdentifier != VER_PLATFORM_WIN32_NT) return;
  LCID locale = GetThreadLocale();
  if (locale == 0) locale = 0x0409;
  const WORD primary_language = static_cast<WORD>(locale & 0x3FF);
  for (WORD language : kSingleByteLanguages) {
    if (primary_language == language) return;
  }
  DoubleByteLocale = HasLeadBytes(locale);
}

ProgramUnit RegistryUnit() { return ProgramUnit{EstablishStartupFacts, nullptr}; }
