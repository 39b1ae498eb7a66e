// How registry and computer names compare, as Windows compares them: by
// their UTF-16 units upper-cased one by one. Surrogates stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace lan {

char16_t FoldedUnit(char16_t unit);

std::u16string FoldedName(std::u16string_view name);

}  // namespace lan
