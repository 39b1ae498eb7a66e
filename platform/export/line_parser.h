// The line grammar in full: every spelling that the registry editor's
// importer takes, and a message for each line that it skips. Only
// reg_file.cpp includes this.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "platform/export/reg_file.h"
#include "platform/export/text_scan.h"

namespace regfile {
// Internal to reg_file.cpp, the one file that includes this: the same
// linkage as if written there, so that the compiler inlines alike.
namespace {

struct RootName {
  std::string_view long_name;
  std::string_view short_name;
  Root root;
};
inline constexpr std::array<RootName, 5> kRootNames = {{
    {"HKEY_CLASSES_ROOT", "HKCR", Root::kClassesRoot},
    {"HKEY_CURRENT_USER", "HKCU", Root::kCurrentUser},
    {"HKEY_LOCAL_MACHINE", "HKLM", Root::kLocalMachine},
    {"HKEY_USERS", "HKU", Root::kUsers},
    {"HKEY_CURRENT_CONFIG", "HKCC", Root::kCurrentConfig},
}};

// The longest hexadecimal number of a dword or a value type.
inline constexpr std::size_t kMostHexDigits = 8;

// The line below `line` continues it: `line` ends with a backslash and the
// next line is no key line.
template <class Text>
bool ContinuesOntoNext(const Text& text, const Physical& line, std::size_t limit) {
  std::size_t last = line.end;
  while (last > line.start && IsBlank(text[last - 1])) --last;
  if (last == line.start || text[last - 1] != u'\\' || line.next >= limit) return false;
  const std::size_t first = SkipBlanks(text, line.next, limit);
  return first == limit || text[first] != u'[';
}

// A parse of one logical line; a fault ends it through Fail.
template <class Text>
class LineParser {
 public:
  LineParser(const Text& text, std::size_t limit, ParsedLine& line) : text_(text), limit_(limit), line_(line) {}

  void Run(std::size_t begin) {
    line_.Kind = LineKind::kNothing;
    line_.Message.clear();
    physical_ = PhysicalLine(text_, begin, limit_);
    line_.Next = physical_.next;
    const std::size_t pos = SkipBlanks(text_, begin, physical_.end);
    if (pos == physical_.end || text_[pos] == u';') return;
    if (text_[pos] == u'[') {
      ParseKeyLine(pos);
    } else if (text_[pos] == u'"' || text_[pos] == u'@') {
      ParseValueLine(pos);
    } else {
      Fail(pos, "unrecognised line '" + Printable(text_, pos, physical_.end) + "'");
    }
  }

 private:
  // Records the fault and skips the rest of the line, continuation lines
  // included. Answers false, for the parse to stop.
  bool Fail(std::size_t at, std::string message) {
    line_.Kind = line_.Kind == LineKind::kKey ? LineKind::kSkippedKey : LineKind::kSkipped;
    line_.FaultAt = at;
    line_.Message = std::move(message);
    line_.Message += line_.Kind == LineKind::kSkippedKey ? kSkippedKeySuffix : kSkippedLineSuffix;
    Physical physical = physical_;
    while (ContinuesOntoNext(text_, physical, limit_)) physical = PhysicalLine(text_, physical.next, limit_);
    line_.Next = physical.next;
    return false;
  }

  void ParseKeyLine(std::size_t pos) {
    line_.Kind = LineKind::kKey;
    const std::size_t end = physical_.end;
    // The last bracket closes the line: key names may hold brackets.
    const std::size_t close = FindLastUnit(text_, pos + 1, end, u']');
    if (close == end) {
      Fail(pos, "key line without a closing bracket");
      return;
    }
    if (!IsEndOfLine(text_, close + 1, end)) {
      Fail(close + 1, "unexpected text after the key line");
      return;
    }
    std::size_t inner = pos + 1;
    line_.Deletion = inner < close && text_[inner] == u'-';
    if (line_.Deletion) ++inner;
    const std::size_t separator = FindUnit(text_, inner, close, u'\\');
    const RootName* root = nullptr;
    for (const RootName& candidate : kRootNames) {
      for (std::string_view name : {candidate.long_name, candidate.short_name}) {
        if (separator - inner == name.size() && MatchesAsciiIgnoringCase(text_, inner, separator, name)) {
          root = &candidate;
        }
      }
    }
    if (root == nullptr) {
      Fail(inner, "unknown root key '" + Printable(text_, inner, separator) + "'");
      return;
    }
    line_.KeyRoot = root->root;
    line_.KeyPath = separator == close ? Span{close, close} : Span{separator + 1, close};
    if (line_.Deletion && line_.KeyPath.Empty()) {
      Fail(inner, "a root key cannot be deleted");
      return;
    }
    if (!line_.KeyPath.Empty() && text_[line_.KeyPath.Begin] == u'\\') {
      Fail(line_.KeyPath.Begin, "a key path cannot start with a backslash");
      return;
    }
    if (ContainsZero(text_, line_.KeyPath)) {
      Fail(line_.KeyPath.Begin, "zero character in a name");
      return;
    }
    line_.Next = physical_.next;
  }

  void ParseValueLine(std::size_t pos) {
    line_.Kind = LineKind::kValue;
    const std::size_t end = physical_.end;
    line_.NameHasBackslash = false;
    line_.DataHasBackslash = false;
    if (text_[pos] == u'@') {
      line_.Name = Span{pos + 1, pos + 1};
      ++pos;
    } else {
      bool holds_zero = false;
      if (!ReadQuoted(pos, line_.Name, holds_zero, line_.NameHasBackslash)) return;
      if (holds_zero) {
        Fail(line_.Name.Begin, "zero character in a name");
        return;
      }
    }
    pos = SkipBlanks(text_, pos, end);
    if (pos == end || text_[pos] != u'=') {
      Fail(pos, "'=' expected after the value name");
      return;
    }
    pos = SkipBlanks(text_, pos + 1, end);

    if (pos < end && text_[pos] == u'-') {
      line_.Form = DataForm::kDelete;
      ++pos;
    } else if (pos < end && text_[pos] == u'"') {
      line_.Form = DataForm::kString;
      line_.Type = REG_SZ;
      bool holds_zero = false;
      if (!ReadQuoted(pos, line_.Data, holds_zero, line_.DataHasBackslash)) return;
    } else if (MatchesAsciiIgnoringCase(text_, pos, end, "dword:")) {
      line_.Form = DataForm::kDword;
      line_.Type = REG_DWORD;
      pos += 6;
      if (!ReadHexNumber(pos, "dword", line_.Dword)) return;
    } else if (MatchesAsciiIgnoringCase(text_, pos, end, "hex:")) {
      line_.Form = DataForm::kHex;
      line_.Type = REG_BINARY;
      pos += 4;
      if (!ReadHexBytes(pos)) return;
    } else if (MatchesAsciiIgnoringCase(text_, pos, end, "hex(")) {
      line_.Form = DataForm::kHex;
      pos += 4;
      if (!ReadHexNumber(pos, "type", line_.Type)) return;
      if (!MatchesAsciiIgnoringCase(text_, pos, physical_.end, "):")) {
        Fail(pos, "'):' expected after the value type");
        return;
      }
      pos += 2;
      if (!ReadHexBytes(pos)) return;
    } else {
      Fail(pos, "unrecognised value data '" + Printable(text_, pos, end) + "'");
      return;
    }
    if (!IsEndOfLine(text_, pos, physical_.end)) {
      Fail(pos, "unexpected text after the value");
      return;
    }
    line_.Next = physical_.next;
  }

  // A quoted string at pos, on this physical line; \\ and \" are escapes,
  // any other backslash stands for itself. Leaves pos behind the closing
  // quote.
  bool ReadQuoted(std::size_t& pos, Span& quoted, bool& holds_zero, bool& holds_backslash) {
    const std::size_t end = physical_.end;
    holds_zero = false;
    holds_backslash = false;
    std::size_t i = pos + 1;
    for (;; ++i) {
      i = FindSpecialInQuotes(text_, i, end);
      if (i >= end) return Fail(pos, "unterminated string");
      const char16_t unit = text_[i];
      if (unit == u'"') break;
      if (unit == u'\\') {
        holds_backslash = true;
        if (i + 1 < end && (text_[i + 1] == u'\\' || text_[i + 1] == u'"')) ++i;
      } else if (unit == 0) {
        holds_zero = true;
      }
    }
    quoted = Span{pos + 1, i};
    pos = i + 1;
    return true;
  }

  // One to eight hexadecimal digits.
  bool ReadHexNumber(std::size_t& pos, const char* what, DWORD& value) {
    const std::size_t end = physical_.end;
    value = 0;
    std::size_t digits = 0;
    while (pos + digits < end && HexDigitValue(text_[pos + digits]) >= 0) {
      if (digits == kMostHexDigits) return Fail(pos, std::string(what) + " value out of range");
      value = value << 4 | static_cast<DWORD>(HexDigitValue(text_[pos + digits]));
      ++digits;
    }
    if (digits == 0) return Fail(pos, std::string("hexadecimal ") + what + " value expected");
    pos += digits;
    return true;
  }

  // Comma-separated hexadecimal bytes of one or two digits; a backslash
  // at the end of a physical line continues the list on the next one,
  // unless that is a key line. Leaves pos at the end of the list on its
  // last physical line.
  bool ReadHexBytes(std::size_t& pos) {
    line_.Data.Begin = pos;
    line_.HexByteCount = 0;
    for (;;) {
      // The usual form first: two digits and a comma, again and again.
      pos = SkipHexTriplets(text_, pos, physical_.end, line_.HexByteCount);
      pos = SkipBlanks(text_, pos, physical_.end);
      if (pos < physical_.end && text_[pos] == u'\\' && IsEndOfLine(text_, pos + 1, physical_.end)) {
        if (!ContinuesOntoNext(text_, Physical{pos, pos + 1, physical_.next}, limit_)) {
          line_.Data.End = pos;
          pos = physical_.end;
          return true;
        }
        physical_ = PhysicalLine(text_, physical_.next, limit_);
        pos = physical_.start;
        continue;
      }
      if (IsEndOfLine(text_, pos, physical_.end)) {
        line_.Data.End = pos;
        return true;
      }
      std::size_t digits = 0;
      while (digits < 2 && pos + digits < physical_.end && HexDigitValue(text_[pos + digits]) >= 0) ++digits;
      if (digits == 0 || (pos + digits < physical_.end && HexDigitValue(text_[pos + digits]) >= 0)) {
        return Fail(pos, "invalid hexadecimal byte '" + Printable(text_, pos, physical_.end) + "'");
      }
      ++line_.HexByteCount;
      pos = SkipBlanks(text_, pos + digits, physical_.end);
      if (pos < physical_.end && text_[pos] == u',') {
        ++pos;
      } else if (!IsEndOfLine(text_, pos, physical_.end) &&
                 !(text_[pos] == u'\\' && IsEndOfLine(text_, pos + 1, physical_.end))) {
        return Fail(pos, "',' expected between hexadecimal bytes");
      }
    }
  }

  const Text& text_;
  std::size_t limit_;
  ParsedLine& line_;
  Physical physical_;
};

}  // namespace
}  // namespace regfile
