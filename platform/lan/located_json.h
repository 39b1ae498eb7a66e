// A JSON document read as a stream of values that know their lines, so
// that whoever interprets it can say where a mistake stands, and builds
// only what it keeps: no tree of the whole document is made. Parsing goes
// through nlohmann-json's SAX interface; the line of a value is the line
// of its last character (of the opening bracket for arrays and objects).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lan {

// A value of the document: a scalar, or the start of an array or object
// whose contents follow.
struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  Kind Type = Kind::Null;
  int Line = 1;
  bool Boolean = false;
  // Numbers: the value when it is a whole number from 0 up, and the
  // number as written (for messages).
  std::optional<std::uint64_t> Whole;
  std::string Text;  // a string's value, a number as written
  // Arrays and objects: how many items or members they hold.
  std::size_t Items = 0;
};

// What reading a document hands out, in document order.
class JsonReader {
 public:
  virtual ~JsonReader() = default;
  // The name of the next member of the object being read.
  virtual void Member(std::string& name) = 0;
  // A value: the whole of a scalar, or the start of an array or object,
  // whose contents follow up to the matching End.
  virtual void Value(JsonValue& value) = 0;
  // The array or object that was started last ends.
  virtual void End() = 0;
};

struct JsonSyntaxError {
  int Line;
  std::string Message;
};

// Arrays and objects nested deeper than this are refused, so that no
// input can exhaust the stack of whoever follows the document.
constexpr int kMaxJsonDepth = 64;

// Reads `text` into `reader`. The whole text is checked first: a syntax
// error, or nesting deeper than kMaxJsonDepth, is answered before the
// reader is handed anything.
std::optional<JsonSyntaxError> ReadJson(std::string_view text, JsonReader& reader);

// A short description of a value's kind for messages ("a string",
// "an array", ...).
std::string DescribeKind(const JsonValue& value);

}  // namespace lan
