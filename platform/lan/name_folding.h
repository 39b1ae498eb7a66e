// How registry and computer names compare, as Windows compares them: by
// their UTF-16 units upper-cased one by one. Surrogates stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace lan {

// A unit above the ASCII range, upper-cased by the host's tables.
char16_t FoldedNonAsciiUnit(char16_t unit);

inline char16_t FoldedUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
  return FoldedNonAsciiUnit(unit);
}

std::u16string FoldedName(std::u16string_view name);

// Replaces `folded` by the folded units of `name`; allocates only when
// `folded` has no room.
void FoldNameInto(std::u16string_view name, std::u16string& folded);

}  // namespace lan
