#include "platform/export/reg_file.h"

#include <array>
#include <utility>

#include "platform/ascii_case.h"

namespace regfile {
namespace {

// The file is read as a sequence of 16-bit units: UTF-16 code units for a
// file with a byte-order mark, one unit per byte otherwise. The grammar
// only looks at ASCII characters, so both read alike; names and strings
// are turned into ANSI bytes when they are complete.
using Units = std::u16string;
using UnitView = std::u16string_view;

constexpr std::string_view kVersion4Header = "REGEDIT4";
constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";

struct RootName {
  std::string_view long_name;
  std::string_view short_name;
  Root root;
};
constexpr std::array<RootName, 5> kRootNames = {{
    {"HKEY_CLASSES_ROOT", "HKCR", Root::kClassesRoot},
    {"HKEY_CURRENT_USER", "HKCU", Root::kCurrentUser},
    {"HKEY_LOCAL_MACHINE", "HKLM", Root::kLocalMachine},
    {"HKEY_USERS", "HKU", Root::kUsers},
    {"HKEY_CURRENT_CONFIG", "HKCC", Root::kCurrentConfig},
}};

struct Line {
  UnitView text;
  int number;
};

// The first error; thrown inside the parser and turned into the result.
struct Failure {
  int line;
  std::string message;
};

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

UnitView SkipBlanks(UnitView text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

UnitView TrimTrailingBlanks(UnitView text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Nothing but blanks or a comment is left.
bool IsEndOfLine(UnitView text) {
  text = SkipBlanks(text);
  return text.empty() || text.front() == u';';
}

bool EqualsIgnoringAsciiCase(UnitView units, std::string_view ascii) { return ascii_case::Same(units, ascii); }

bool StartsWithIgnoringAsciiCase(UnitView units, std::string_view ascii) {
  return units.size() >= ascii.size() && EqualsIgnoringAsciiCase(units.substr(0, ascii.size()), ascii);
}

int HexDigitValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return -1;
}

std::string Printable(UnitView units) {
  std::string text;
  for (char16_t unit : units.substr(0, 40)) text.push_back(unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?');
  return text;
}

// Splits the units into lines at LF, each without the CR of a CR LF.
std::vector<Line> SplitLines(UnitView units) {
  std::vector<Line> lines;
  int number = 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= units.size(); ++i) {
    if (i == units.size() || units[i] == u'\n') {
      UnitView line = units.substr(start, i - start);
      if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      lines.push_back({line, number++});
      start = i + 1;
    }
  }
  return lines;
}

class Parser {
 public:
  Parser(std::vector<Line> lines, bool wide_text, bool wide_string_data, const AnsiFromUtf16& to_ansi)
      : lines_(std::move(lines)), wide_text_(wide_text), wide_string_data_(wide_string_data), to_ansi_(to_ansi) {}

  ParseResult Run() {
    ParseResult result;
    try {
      // The header has been checked by the caller.
      for (next_ = 1; next_ < lines_.size();) {
        const Line line = lines_[next_++];
        ParseLine(line, result.Operations);
      }
    } catch (const Failure& failure) {
      result.Error = ParseError{failure.line, failure.message};
    }
    return result;
  }

 private:
  void ParseLine(const Line& line, std::vector<Operation>& operations) {
    const UnitView text = SkipBlanks(line.text);
    if (IsEndOfLine(text)) return;
    if (text.front() == u'[') {
      ParseKeyLine(text, line.number, operations);
    } else if (text.front() == u'"' || text.front() == u'@') {
      ParseValueLine(text, line.number, operations);
    } else {
      throw Failure{line.number, "unrecognised line '" + Printable(TrimTrailingBlanks(text)) + "'"};
    }
  }

  void ParseKeyLine(UnitView text, int number, std::vector<Operation>& operations) {
    const std::size_t close = text.rfind(u']');
    if (close == UnitView::npos) throw Failure{number, "key line without a closing bracket"};
    if (!IsEndOfLine(text.substr(close + 1))) throw Failure{number, "unexpected text after the key line"};
    UnitView inner = text.substr(1, close - 1);
    const bool deletion = !inner.empty() && inner.front() == u'-';
    if (deletion) inner.remove_prefix(1);
    const std::size_t separator = inner.find(u'\\');
    const UnitView root_name = inner.substr(0, separator);
    const RootName* root = nullptr;
    for (const RootName& candidate : kRootNames) {
      if (EqualsIgnoringAsciiCase(root_name, candidate.long_name) ||
          EqualsIgnoringAsciiCase(root_name, candidate.short_name)) {
        root = &candidate;
      }
    }
    if (root == nullptr) throw Failure{number, "unknown root key '" + Printable(root_name) + "'"};
    const UnitView path = separator == UnitView::npos ? UnitView() : inner.substr(separator + 1);
    if (deletion && path.empty()) throw Failure{number, "a root key cannot be deleted"};

    Operation operation;
    operation.Kind = deletion ? OperationKind::kDeleteKey : OperationKind::kCreateKey;
    operation.KeyRoot = root->root;
    operation.KeyPath = FinishName(path, number);
    operation.Line = number;
    key_ = operation;
    has_key_ = true;
    operations.push_back(std::move(operation));
  }

  void ParseValueLine(UnitView text, int number, std::vector<Operation>& operations) {
    if (!has_key_) throw Failure{number, "value outside a key"};
    if (key_.Kind == OperationKind::kDeleteKey) throw Failure{number, "value below a key that is being deleted"};

    Operation operation;
    operation.KeyRoot = key_.KeyRoot;
    operation.KeyPath = key_.KeyPath;
    operation.Line = number;
    if (text.front() == u'@') {
      text.remove_prefix(1);
    } else {
      operation.ValueName = FinishName(ReadQuoted(text, number), number);
    }
    text = SkipBlanks(text);
    if (text.empty() || text.front() != u'=') throw Failure{number, "'=' expected after the value name"};
    text = SkipBlanks(text.substr(1));

    if (!text.empty() && text.front() == u'-') {
      operation.Kind = OperationKind::kDeleteValue;
      text.remove_prefix(1);
    } else if (!text.empty() && text.front() == u'"') {
      operation.Kind = OperationKind::kSetValue;
      operation.Type = REG_SZ;
      operation.Data = FinishText(ReadQuoted(text, number), number);
      operation.Data.push_back('\0');
    } else if (StartsWithIgnoringAsciiCase(text, "dword:")) {
      operation.Kind = OperationKind::kSetValue;
      operation.Type = REG_DWORD;
      text.remove_prefix(6);
      const DWORD number_value = ReadHexNumber(text, number, "dword");
      for (int shift = 0; shift < 32; shift += 8) operation.Data.push_back(static_cast<char>(number_value >> shift));
    } else if (StartsWithIgnoringAsciiCase(text, "hex:")) {
      operation.Kind = OperationKind::kSetValue;
      operation.Type = REG_BINARY;
      text.remove_prefix(4);
      operation.Data = ReadHexBytes(text, number);
    } else if (StartsWithIgnoringAsciiCase(text, "hex(")) {
      operation.Kind = OperationKind::kSetValue;
      text.remove_prefix(4);
      operation.Type = ReadHexNumber(text, number, "type");
      if (!StartsWithIgnoringAsciiCase(text, "):")) throw Failure{number, "'):' expected after the value type"};
      text.remove_prefix(2);
      operation.Data = ReadHexBytes(text, number);
      if (wide_string_data_ && IsStringType(operation.Type)) operation.Data = WideDataToAnsi(operation.Data, number);
    } else {
      throw Failure{number, "unrecognised value data '" + Printable(TrimTrailingBlanks(text)) + "'"};
    }
    if (!IsEndOfLine(text)) throw Failure{number, "unexpected text after the value"};
    operations.push_back(std::move(operation));
  }

  static bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

  // A quoted string at the front of text, with \\ and \" taken as the
  // escaped character; any other backslash is kept with what follows it.
  // Leaves text behind the closing quote.
  Units ReadQuoted(UnitView& text, int number) {
    Units result;
    std::size_t i = 1;
    for (;;) {
      if (i >= text.size()) throw Failure{number, "unterminated string"};
      const char16_t unit = text[i];
      if (unit == u'"') break;
      if (unit == u'\\' && i + 1 < text.size() && (text[i + 1] == u'\\' || text[i + 1] == u'"')) {
        result.push_back(text[i + 1]);
        i += 2;
        continue;
      }
      result.push_back(unit);
      ++i;
    }
    text.remove_prefix(i + 1);
    return result;
  }

  // One to eight hexadecimal digits.
  DWORD ReadHexNumber(UnitView& text, int number, const char* what) {
    DWORD value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && HexDigitValue(text[digits]) >= 0) {
      if (digits == 8) throw Failure{number, std::string(what) + " value out of range"};
      value = value << 4 | static_cast<DWORD>(HexDigitValue(text[digits]));
      ++digits;
    }
    if (digits == 0) throw Failure{number, std::string("hexadecimal ") + what + " value expected"};
    text.remove_prefix(digits);
    return value;
  }

  // Comma-separated hexadecimal bytes; a backslash at the end of a line
  // continues the list on the next line. Leaves text at the end of the
  // list's last line.
  std::string ReadHexBytes(UnitView& text, int& number) {
    std::string bytes;
    for (;;) {
      text = SkipBlanks(text);
      if (!text.empty() && text.front() == u'\\' && IsEndOfLine(text.substr(1))) {
        if (next_ >= lines_.size()) {
          text = UnitView();
          return bytes;
        }
        const Line& line = lines_[next_++];
        text = line.text;
        number = line.number;
        continue;
      }
      if (IsEndOfLine(text)) return bytes;
      int value = 0;
      std::size_t digits = 0;
      while (digits < text.size() && digits < 2 && HexDigitValue(text[digits]) >= 0) {
        value = value << 4 | HexDigitValue(text[digits]);
        ++digits;
      }
      if (digits == 0 || (digits < text.size() && HexDigitValue(text[digits]) >= 0)) {
        throw Failure{number, "invalid hexadecimal byte '" + Printable(TrimTrailingBlanks(text)) + "'"};
      }
      bytes.push_back(static_cast<char>(value));
      text = SkipBlanks(text.substr(digits));
      if (!text.empty() && text.front() == u',') {
        text.remove_prefix(1);
      } else if (!IsEndOfLine(text) && !(text.front() == u'\\' && IsEndOfLine(text.substr(1)))) {
        throw Failure{number, "',' expected between hexadecimal bytes"};
      }
    }
  }

  std::string WideDataToAnsi(const std::string& data, int number) {
    if (data.size() % 2 != 0) throw Failure{number, "string data with an odd number of bytes"};
    const std::optional<std::string> converted = to_ansi_(data);
    if (!converted) throw Failure{number, "string data that is not valid UTF-16"};
    return *converted;
  }

  // Text of the file (a string's contents) as ANSI bytes.
  std::string FinishText(UnitView units, int number) {
    std::string bytes;
    bool ascii = true;
    for (char16_t unit : units) {
      if (unit >= 0x80) ascii = false;
      bytes.push_back(static_cast<char>(unit));
    }
    if (!wide_text_ || ascii) return bytes;
    std::string wide;
    for (char16_t unit : units) {
      wide.push_back(static_cast<char>(unit & 0xFF));
      wide.push_back(static_cast<char>(unit >> 8));
    }
    const std::optional<std::string> converted = to_ansi_(wide);
    if (!converted) throw Failure{number, "text that is not valid UTF-16"};
    return *converted;
  }

  // A key path or value name: text that cannot hold a zero byte, since
  // the registry takes names as zero-terminated strings.
  std::string FinishName(UnitView units, int number) {
    std::string name = FinishText(units, number);
    if (name.find('\0') != std::string::npos) throw Failure{number, "zero character in a name"};
    return name;
  }

  std::vector<Line> lines_;
  std::size_t next_ = 1;
  bool wide_text_;
  bool wide_string_data_;
  const AnsiFromUtf16& to_ansi_;
  Operation key_;
  bool has_key_ = false;
};

}  // namespace

HKEY RootHandle(Root root) {
  switch (root) {
    case Root::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case Root::kCurrentUser:
      return HKEY_CURRENT_USER;
    case Root::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case Root::kUsers:
      return HKEY_USERS;
    case Root::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return nullptr;
}

ParseResult ParseRegFile(std::string_view file_bytes, const AnsiFromUtf16& to_ansi) {
  // A UTF-16LE byte-order mark makes the text wide; otherwise every byte
  // is a character of its own.
  Units units;
  const bool wide_text = file_bytes.size() >= 2 && static_cast<unsigned char>(file_bytes[0]) == 0xFF &&
                         static_cast<unsigned char>(file_bytes[1]) == 0xFE;
  bool half_character = false;
  if (wide_text) {
    units.reserve(file_bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < file_bytes.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(file_bytes[i]) |
                                            static_cast<unsigned char>(file_bytes[i + 1]) << 8));
    }
    half_character = file_bytes.size() % 2 != 0;
  } else {
    units.reserve(file_bytes.size());
    for (char byte : file_bytes) units.push_back(static_cast<unsigned char>(byte));
  }
  std::vector<Line> lines = SplitLines(units);

  ParseResult result;
  if (half_character) {
    result.Error = ParseError{lines.back().number, "the file ends in the middle of a UTF-16 character"};
    return result;
  }
  const UnitView header = TrimTrailingBlanks(lines.front().text);
  bool version5 = false;
  if (EqualsIgnoringAsciiCase(header, kVersion5Header)) {
    version5 = true;
  } else if (!EqualsIgnoringAsciiCase(header, kVersion4Header)) {
    result.Error = ParseError{
        1, "not a registry export: the first line must be \"REGEDIT4\" or \"" + std::string(kVersion5Header) + "\""};
    return result;
  }
  return Parser(std::move(lines), wide_text, version5, to_ansi).Run();
}

}  // namespace regfile
