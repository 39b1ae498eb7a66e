#include "platform/lan/located_json.h"

#include <cstddef>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

namespace lan {
namespace {

// Where the parser's reading stands: the line it is on, and the line of
// the last character that was not white space, which is the line of the
// token just read.
struct ReadPosition {
  int Line = 1;
  int TokenLine = 1;
};

// Walks the text for nlohmann-json's parser and keeps ReadPosition up to
// date as the parser takes one character after the other.
class CountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator(const char* at, ReadPosition* position) : at_(at), position_(position) {}

  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    const char c = *at_;
    if (c == '\n') {
      ++position_->Line;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      position_->TokenLine = position_->Line;
    }
    ++at_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& other) const { return at_ == other.at_; }
  bool operator!=(const CountingIterator& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  ReadPosition* position_;
};

int LineAtOffset(std::string_view text, std::size_t offset) {
  if (offset > text.size()) offset = text.size();
  int line = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') ++line;
  }
  return line;
}

// nlohmann's messages start with "[json.exception.parse_error.101] parse
// error at line 1, column 2: "; the line is given separately.
std::string WithoutPrefix(std::string message) {
  const std::size_t colon = message.find(": ");
  if (message.rfind("[json.exception.", 0) == 0 && colon != std::string::npos) message.erase(0, colon + 2);
  return message;
}

// The number of items or members of every array and object, in the order
// in which they start.
using ContainerSizes = std::vector<std::uint32_t>;

// Takes the parser's events. Without a reader it checks the depth, notes
// the first error and counts what each array and object holds; with one
// it hands the values to the reader, with the counts of the first pass.
class EventTaker final : public nlohmann::json_sax<nlohmann::json> {
 public:
  EventTaker(std::string_view text, const ReadPosition& position, ContainerSizes& sizes, JsonReader* reader)
      : text_(text), position_(position), sizes_(sizes), reader_(reader) {}

  bool null() override { return Deliver(Value(JsonValue::Kind::Null)); }
  bool boolean(bool value) override {
    JsonValue node = Value(JsonValue::Kind::Boolean);
    node.Boolean = value;
    return Deliver(std::move(node));
  }
  bool number_integer(number_integer_t value) override {
    JsonValue node = Value(JsonValue::Kind::Number);
    if (value >= 0) node.Whole = static_cast<std::uint64_t>(value);
    if (reader_ != nullptr) node.Text = std::to_string(value);
    return Deliver(std::move(node));
  }
  bool number_unsigned(number_unsigned_t value) override {
    JsonValue node = Value(JsonValue::Kind::Number);
    node.Whole = value;
    if (reader_ != nullptr) node.Text = std::to_string(value);
    return Deliver(std::move(node));
  }
  bool number_float(number_float_t /*value*/, const string_t& written) override {
    JsonValue node = Value(JsonValue::Kind::Number);
    if (reader_ != nullptr) node.Text = written;
    return Deliver(std::move(node));
  }
  bool string(string_t& value) override {
    JsonValue node = Value(JsonValue::Kind::String);
    if (reader_ != nullptr) node.Text = std::move(value);
    return Deliver(std::move(node));
  }
  bool binary(binary_t& /*value*/) override { return Deliver(Value(JsonValue::Kind::Null)); }
  bool start_object(std::size_t /*elements*/) override { return Open(JsonValue::Kind::Object); }
  bool key(string_t& name) override {
    if (reader_ != nullptr) {
      reader_->Member(name);
    } else {
      ++sizes_[open_.back()];
    }
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t /*elements*/) override { return Open(JsonValue::Kind::Array); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t position, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& error) override {
    // The position counts the characters read, the offending one last.
    Fail(LineAtOffset(text_, position == 0 ? 0 : position - 1), WithoutPrefix(error.what()));
    return false;
  }

  std::optional<JsonSyntaxError> Error() const { return error_; }

 private:
  JsonValue Value(JsonValue::Kind kind) const {
    JsonValue node;
    node.Type = kind;
    node.Line = position_.TokenLine;
    return node;
  }

  bool Deliver(JsonValue node) {
    if (reader_ != nullptr) {
      reader_->Value(node);
    } else if (!open_.empty() && open_kinds_.back() == JsonValue::Kind::Array) {
      ++sizes_[open_.back()];
    }
    return true;
  }

  bool Open(JsonValue::Kind kind) {
    if (open_.size() >= static_cast<std::size_t>(kMaxJsonDepth)) {
      Fail(position_.TokenLine, "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
      return false;
    }
    JsonValue node = Value(kind);
    const std::size_t index = started_++;
    if (reader_ == nullptr) {
      Deliver(node);
      sizes_.push_back(0);
    } else {
      node.Items = index < sizes_.size() ? sizes_[index] : 0;
      Deliver(std::move(node));
    }
    open_.push_back(index);
    open_kinds_.push_back(kind);
    return true;
  }

  bool Close() {
    open_.pop_back();
    open_kinds_.pop_back();
    if (reader_ != nullptr) reader_->End();
    return true;
  }

  void Fail(int line, std::string message) {
    if (!error_) error_ = JsonSyntaxError{line, std::move(message)};
  }

  std::string_view text_;
  const ReadPosition& position_;
  ContainerSizes& sizes_;
  JsonReader* reader_;
  std::size_t started_ = 0;  // arrays and objects started so far
  // The arrays and objects open, outermost first: their numbers and kinds.
  std::vector<std::size_t> open_;
  std::vector<JsonValue::Kind> open_kinds_;
  std::optional<JsonSyntaxError> error_;
};

// One pass of the parser over the text, its events going to `reader`
// (none without one).
std::optional<JsonSyntaxError> Pass(std::string_view text, ContainerSizes& sizes, JsonReader* reader) {
  ReadPosition position;
  EventTaker taker(text, position, sizes, reader);
  const CountingIterator first(text.data(), &position);
  const CountingIterator last(text.data() + text.size(), &position);
  const bool read = nlohmann::json::sax_parse(first, last, &taker);
  if (auto error = taker.Error()) return error;
  if (!read) return JsonSyntaxError{position.Line, "no JSON value"};
  return std::nullopt;
}

}  // namespace

std::optional<JsonSyntaxError> ReadJson(std::string_view text, JsonReader& reader) {
  ContainerSizes sizes;
  if (auto error = Pass(text, sizes, nullptr)) return error;
  return Pass(text, sizes, &reader);
}

std::string DescribeKind(const JsonValue& value) {
  switch (value.Type) {
    case JsonValue::Kind::Null:
      return "null";
    case JsonValue::Kind::Boolean:
      return value.Boolean ? "true" : "false";
    case JsonValue::Kind::Number:
      return "the number " + value.Text;
    case JsonValue::Kind::String:
      return "a string";
    case JsonValue::Kind::Array:
      return "an array";
    case JsonValue::Kind::Object:
      return "an object";
  }
  return "a value";
}

}  // namespace lan
