#include "platform/registry_name_fold.h"

#include <locale.h>
#include <wctype.h>

namespace regfile {

char16_t FoldNonAsciiUnit(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (unicode == static_cast<locale_t>(nullptr)) return unit;
  const wint_t upper = towupper_l(static_cast<wint_t>(unit), unicode);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

void FoldName(std::u16string_view name, std::u16string& folded) {
  folded.resize(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) folded[i] = FoldUnit(name[i]);
}

}  // namespace regfile
