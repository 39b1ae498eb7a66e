#include "platform/lan/name_folding.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

namespace lan {

// Beyond ASCII, by the host's Unicode tables.
char16_t FoldedNonAsciiUnit(char16_t unit) {
  if (unit < 0x80) return FoldedUnit(unit);
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
#if defined(_WIN32)
  wchar_t wide[1] = {static_cast<wchar_t>(unit)};
  CharUpperBuffW(wide, 1);
  return static_cast<char16_t>(wide[0]);
#else
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (unicode == static_cast<locale_t>(nullptr)) return unit;
  const wint_t upper = towupper_l(static_cast<wint_t>(unit), unicode);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
#endif
}

std::u16string FoldedName(std::u16string_view name) {
  std::u16string folded;
  FoldNameInto(name, folded);
  return folded;
}

void FoldNameInto(std::u16string_view name, std::u16string& folded) {
  folded.resize(name.size());
  const char16_t* in = name.data();
  char16_t* out = folded.data();
  const std::size_t size = name.size();
  unsigned any = 0;
  for (std::size_t i = 0; i < size; ++i) any |= in[i];
  if (any < 0x80) {
    // ASCII alone, the usual name: a loop without branches.
    for (std::size_t i = 0; i < size; ++i) {
      const unsigned unit = in[i];
      out[i] = static_cast<char16_t>(unit - (unit - u'a' < 26u ? 0x20u : 0u));
    }
    return;
  }
  for (std::size_t i = 0; i < size; ++i) out[i] = FoldedUnit(in[i]);
}

}  // namespace lan
