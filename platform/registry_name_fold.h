// Registry names compare as Windows compares them: unit by unit, after
// each UTF-16 unit has been upper-cased alone (surrogates stay as they
// are). Subkeys are enumerated in the order of their folded names.
#pragma once

#include <string>
#include <string_view>

namespace regfile {

// A unit above the ASCII range, upper-cased by the host's Unicode tables.
char16_t FoldNonAsciiUnit(char16_t unit);

inline char16_t FoldUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
  return FoldNonAsciiUnit(unit);
}

// Replaces `folded` by the folded units of `name`.
void FoldName(std::u16string_view name, std::u16string& folded);

}  // namespace regfile
