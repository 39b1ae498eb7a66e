// Names compared as network names, file name extensions, export file
// keywords and description fields are compared: the letters A to Z equal
// to a to z, every other character equal only to itself. Works on bytes
// and on UTF-16 units alike.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace ascii_case {

template <class Char>
constexpr char32_t Folded(Char c) {
  const auto value = static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(c));
  return value >= U'A' && value <= U'Z' ? value - U'A' + U'a' : value;
}

template <class A, class B>
constexpr bool Same(std::basic_string_view<A> a, std::basic_string_view<B> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Folded(a[i]) != Folded(b[i])) return false;
  }
  return true;
}

inline bool Same(std::string_view a, std::string_view b) { return Same<char, char>(a, b); }

// The text with A to Z folded to a to z: names that are the Same have the
// same folded text, which hash tables can take as their key.
inline std::string FoldedText(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(Folded(c));
  return folded;
}

}  // namespace ascii_case
