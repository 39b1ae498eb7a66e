#include "platform/lan/located_json.h"

#include <cstddef>
#include <iterator>
#include <nlohmann/json.hpp>

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

// Builds the tree from the parser's events.
class TreeBuilder final : public nlohmann::json_sax<nlohmann::json> {
 public:
  TreeBuilder(std::string_view text, const ReadPosition& position) : text_(text), position_(position) {}

  bool null() override { return Add(Value(LocatedJson::Kind::Null)); }
  bool boolean(bool value) override {
    LocatedJson node = Value(LocatedJson::Kind::Boolean);
    node.Boolean = value;
    return Add(std::move(node));
  }
  bool number_integer(number_integer_t value) override {
    LocatedJson node = Value(LocatedJson::Kind::Number);
    if (value >= 0) node.Whole = static_cast<std::uint64_t>(value);
    node.Text = std::to_string(value);
    return Add(std::move(node));
  }
  bool number_unsigned(number_unsigned_t value) override {
    LocatedJson node = Value(LocatedJson::Kind::Number);
    node.Whole = value;
    node.Text = std::to_string(value);
    return Add(std::move(node));
  }
  bool number_float(number_float_t /*value*/, const string_t& written) override {
    LocatedJson node = Value(LocatedJson::Kind::Number);
    node.Text = written;
    return Add(std::move(node));
  }
  bool string(string_t& value) override {
    LocatedJson node = Value(LocatedJson::Kind::String);
    node.Text = std::move(value);
    return Add(std::move(node));
  }
  bool binary(binary_t& /*value*/) override { return Add(Value(LocatedJson::Kind::Null)); }
  bool start_object(std::size_t /*elements*/) override { return Open(LocatedJson::Kind::Object); }
  bool key(string_t& name) override {
    pending_names_.push_back(std::move(name));
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t /*elements*/) override { return Open(LocatedJson::Kind::Array); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t position, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& error) override {
    // The position counts the characters read, the offending one last.
    Fail(LineAtOffset(text_, position == 0 ? 0 : position - 1), WithoutPrefix(error.what()));
    return false;
  }

  std::variant<LocatedJson, JsonSyntaxError> Result() {
    if (error_) return *error_;
    if (!root_) return JsonSyntaxError{position_.Line, "no JSON value"};
    return std::move(*root_);
  }

 private:
  LocatedJson Value(LocatedJson::Kind kind) const {
    LocatedJson node;
    node.Type = kind;
    node.Line = position_.TokenLine;
    return node;
  }

  bool Add(LocatedJson node) {
    if (open_.empty()) {
      root_ = std::move(node);
    } else if (open_.back().Type == LocatedJson::Kind::Array) {
      open_.back().Items.push_back(std::move(node));
    } else {
      open_.back().Members.push_back(LocatedMember{std::move(pending_names_.back()), std::move(node)});
      pending_names_.pop_back();
    }
    return true;
  }

  bool Open(LocatedJson::Kind kind) {
    if (static_cast<int>(open_.size()) >= kMaxJsonDepth) {
      Fail(position_.TokenLine, "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
      return false;
    }
    open_.push_back(Value(kind));
    return true;
  }

  bool Close() {
    LocatedJson node = std::move(open_.back());
    open_.pop_back();
    return Add(std::move(node));
  }

  void Fail(int line, std::string message) {
    if (!error_) error_ = JsonSyntaxError{line, std::move(message)};
  }

  // nlohmann's messages start with "[json.exception.parse_error.101] parse
  // error at line 1, column 2: "; the line is given separately.
  static std::string WithoutPrefix(std::string message) {
    const std::size_t colon = message.find(": ");
    if (message.rfind("[json.exception.", 0) == 0 && colon != std::string::npos) message.erase(0, colon + 2);
    return message;
  }

  std::string_view text_;
  const ReadPosition& position_;
  std::vector<LocatedJson> open_;
  std::vector<std::string> pending_names_;
  std::optional<LocatedJson> root_;
  std::optional<JsonSyntaxError> error_;
};

}  // namespace

std::variant<LocatedJson, JsonSyntaxError> ParseLocatedJson(std::string_view text) {
  ReadPosition position;
  TreeBuilder builder(text, position);
  const CountingIterator first(text.data(), &position);
  const CountingIterator last(text.data() + text.size(), &position);
  nlohmann::json::sax_parse(first, last, &builder);
  return builder.Result();
}

std::string QuotedText(std::string_view text) {
  return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string DescribeKind(const LocatedJson& value) {
  switch (value.Type) {
    case LocatedJson::Kind::Null:
      return "null";
    case LocatedJson::Kind::Boolean:
      return value.Boolean ? "true" : "false";
    case LocatedJson::Kind::Number:
      return "the number " + value.Text;
    case LocatedJson::Kind::String:
      return "a string";
    case LocatedJson::Kind::Array:
      return "an array";
    case LocatedJson::Kind::Object:
      return "an object";
  }
  return "a value";
}

}  // namespace lan
