// A JSON document read into a tree that remembers the line of every
// value, so that whoever interprets it can say where a mistake stands.
// Parsing goes through nlohmann-json's SAX interface; the line of a value
// is the line of its last character (of the opening bracket for arrays
// and objects).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lan {

struct LocatedMember;

struct LocatedJson {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  Kind Type = Kind::Null;
  int Line = 1;
  bool Boolean = false;
  // Numbers: the value when it is a whole number from 0 up, and the
  // number as written (for messages).
  std::optional<std::uint64_t> Whole;
  std::string Text;  // a string's value, a number as written
  std::vector<LocatedJson> Items;
  // Members in document order; a name given twice appears twice.
  std::vector<LocatedMember> Members;
};

struct LocatedMember {
  std::string Name;
  LocatedJson Value;
};

struct JsonSyntaxError {
  int Line;
  std::string Message;
};

// Arrays and objects nested deeper than this are refused, so that no
// input can exhaust the stack of whoever walks the tree.
constexpr int kMaxJsonDepth = 64;

std::variant<LocatedJson, JsonSyntaxError> ParseLocatedJson(std::string_view text);

// A text as a JSON string literal, with its quotes: control characters
// are escaped, so that a message that quotes the text stays on one line.
// Bytes that are not UTF-8 become U+FFFD.
std::string QuotedText(std::string_view text);

// A short description of a value's kind for messages ("a string",
// "an array", ...).
std::string DescribeKind(const LocatedJson& value);

}  // namespace lan
