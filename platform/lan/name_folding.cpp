#include "platform/lan/name_folding.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

namespace lan {

// ASCII by rule; beyond it, by the host's Unicode tables.
char16_t FoldedUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
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
  std::u16string folded(name);
  for (char16_t& unit : folded) unit = FoldedUnit(unit);
  return folded;
}

}  // namespace lan
