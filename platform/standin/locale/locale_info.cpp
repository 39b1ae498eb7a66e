// The thread's locale and what it says: GetThreadLocale and
// GetLocaleInfoA, from the host's locale name (LC_ALL, LC_CTYPE, LANG).
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/standin/locale/locale_overrides.h"

namespace {

// The host's locale name, as the C library would choose it.
std::string HostLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return "C";
}

// Windows primary language identifiers by ISO 639-1 code; the thread
// locale is the language with its default sublanguage.
struct LanguageFacts {
  const char* iso;
  WORD primary_language;
  UINT ansi_code_page;
};
constexpr LanguageFacts kLanguages[] = {
    {"ar", 0x01, 1256}, {"bg", 0x02, 1251}, {"ca", 0x03, 1252}, {"zh", 0x04, 950},  {"cs", 0x05, 1250},
    {"da", 0x06, 1252}, {"de", 0x07, 1252}, {"el", 0x08, 1253}, {"en", 0x09, 1252}, {"es", 0x0A, 1252},
    {"fi", 0x0B, 1252}, {"fr", 0x0C, 1252}, {"he", 0x0D, 1255}, {"hu", 0x0E, 1250}, {"is", 0x0F, 1252},
    {"it", 0x10, 1252}, {"ja", 0x11, 932},  {"ko", 0x12, 949},  {"nl", 0x13, 1252}, {"nb", 0x14, 1252},
    {"no", 0x14, 1252}, {"pl", 0x15, 1250}, {"pt", 0x16, 1252}, {"ro", 0x18, 1250}, {"ru", 0x19, 1251},
    {"hr", 0x1A, 1250}, {"sk", 0x1B, 1250}, {"sq", 0x1C, 1250}, {"sv", 0x1D, 1252}, {"th", 0x1E, 874},
    {"tr", 0x1F, 1254}, {"id", 0x21, 1252}, {"uk", 0x22, 1251}, {"be", 0x23, 1251}, {"sl", 0x24, 1250},
    {"et", 0x25, 1257}, {"lv", 0x26, 1257}, {"lt", 0x27, 1257}, {"vi", 0x2A, 1258}, {"eu", 0x2D, 1252},
};

const LanguageFacts* LanguageByIso(std::string_view iso) {
  for (const LanguageFacts& language : kLanguages) {
    if (iso == language.iso) return &language;
  }
  return nullptr;
}

const LanguageFacts* LanguageById(WORD primary_language) {
  for (const LanguageFacts& language : kLanguages) {
    if (language.primary_language == primary_language) return &language;
  }
  return nullptr;
}

LCID HostThreadLocale() {
  const std::string name = HostLocaleName();
  const std::string iso = name.substr(0, name.find_first_of("_.@"));
  const LanguageFacts* language = LanguageByIso(iso);
  if (language == nullptr) return 0x0409;  // C, POSIX and unknown languages: English (United States)
  WORD sublanguage = 0x01;
  if (iso == "zh" && name.compare(0, 5, "zh_CN") == 0) sublanguage = 0x02;  // 0x0804, simplified Chinese
  return static_cast<LCID>((sublanguage << 10) | language->primary_language);
}

UINT DefaultAnsiCodePageOf(LCID locale) {
  if (locale == 0x0804 || locale == 0x1004) return 936;  // simplified Chinese
  const LanguageFacts* language = LanguageById(static_cast<WORD>(locale & 0x3FF));
  return language == nullptr ? 1252 : language->ansi_code_page;
}

}  // namespace

LCID WINAPI GetThreadLocale() {
  if (standin::LocaleOverrides().ThreadLocale) return *standin::LocaleOverrides().ThreadLocale;
  static const LCID host = HostThreadLocale();
  return host;
}

// Only LOCALE_IDEFAULTANSICODEPAGE is known. The result counts the
// terminating zero; a buffer too small fails with ERROR_INSUFFICIENT_BUFFER.
int WINAPI GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData) {
  if (LCType != LOCALE_IDEFAULTANSICODEPAGE || cchData < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string text =
      standin::LocaleOverrides().DefaultAnsiCodePage.value_or(std::to_string(DefaultAnsiCodePageOf(Locale)));
  const int needed = static_cast<int>(text.size()) + 1;
  if (cchData == 0) return needed;
  if (cchData < needed || lpLCData == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpLCData, text.c_str(), static_cast<std::size_t>(needed));
  return needed;
}
