// The shortcut of the line grammar for the lines that nearly every export
// is made of. Only reg_file.cpp includes this.
#pragma once

#include "platform/export/line_parser.h"
#include "platform/export/reg_file.h"
#include "platform/export/text_scan.h"

namespace regfile {
// Internal to reg_file.cpp, the one file that includes this: the same
// linkage as if written there, so that the compiler inlines alike.
namespace {

// The shapes that nearly every line of an export has, read in one pass:
// an empty line, or "name"=data from the line's first column, without
// blanks, escapes in the name, comments or other spellings, ended by the
// line end. LineParser reads these lines alike; this answers false for
// every other line, which LineParser then reads.
template <class Text>
class CommonLine {
 public:
  CommonLine(const Text& text, std::size_t limit, ParsedLine& line) : text_(text), limit_(limit), line_(line) {}

  bool Read(std::size_t pos) {
    if (pos >= limit_) return false;
    const char16_t first = text_[pos];
    if (first != u'"') {
      if (first == u'[') return ReadKeyLine(pos);
      if (!LineEnd(pos)) return false;
      line_.Kind = LineKind::kNothing;
      line_.Message.clear();
      return true;
    }
    const std::size_t name_end = FindSpecialInQuotes(text_, pos + 1, limit_);
    if (name_end >= limit_ || text_[name_end] != u'"') return false;
    line_.Name = Span{pos + 1, name_end};
    line_.NameHasBackslash = false;
    line_.DataHasBackslash = false;
    pos = name_end + 1;
    if (pos >= limit_ || text_[pos] != u'=') return false;
    if (!ReadData(pos + 1)) return false;
    line_.Kind = LineKind::kValue;
    line_.Message.clear();
    return true;
  }

 private:
  // [ROOT\path] with the root's long name as the registry editor writes
  // it, and the line end right behind the bracket.
  bool ReadKeyLine(std::size_t pos) {
    const std::size_t feed = FindUnit(text_, pos, limit_, u'\n');
    if (feed == limit_) return false;
    const std::size_t end = feed > pos && text_[feed - 1] == u'\r' ? feed - 1 : feed;
    if (end - pos < 3 || text_[end - 1] != u']') return false;
    for (const RootName& root : kRootNames) {
      const std::size_t separator = pos + 1 + root.long_name.size();
      if (separator >= end - 1 || text_[separator] != u'\\' || !Matches(pos + 1, root.long_name)) continue;
      const Span path{separator + 1, end - 1};
      if ((!path.Empty() && text_[path.Begin] == u'\\') || ContainsZero(text_, path)) return false;
      line_.Kind = LineKind::kKey;
      line_.Message.clear();
      line_.Deletion = false;
      line_.KeyRoot = root.root;
      line_.KeyPath = path;
      line_.Next = feed + 1;
      return true;
    }
    return false;
  }

  // A line end at `pos`, "\r\n" or "\n": the next line starts behind it.
  bool LineEnd(std::size_t pos) {
    if (pos < limit_ && text_[pos] == u'\n') {
      line_.Next = pos + 1;
      return true;
    }
    if (pos + 1 < limit_ && text_[pos] == u'\r' && text_[pos + 1] == u'\n') {
      line_.Next = pos + 2;
      return true;
    }
    return false;
  }

  bool ReadData(std::size_t pos) {
    if (pos >= limit_) return false;
    switch (text_[pos]) {
      case u'-':
        line_.Form = DataForm::kDelete;
        line_.Type = REG_NONE;
        return LineEnd(pos + 1);
      case u'"':
        return ReadString(pos);
      case u'd':
        if (!Matches(pos, "dword:")) return false;
        line_.Form = DataForm::kDword;
        line_.Type = REG_DWORD;
        pos += 6;
        return ReadNumber(pos, line_.Dword) && LineEnd(pos);
      case u'h':
        if (Matches(pos, "hex:")) {
          line_.Type = REG_BINARY;
          pos += 4;
        } else if (Matches(pos, "hex(")) {
          pos += 4;
          if (!ReadNumber(pos, line_.Type) || !Matches(pos, "):")) return false;
          pos += 2;
        } else {
          return false;
        }
        line_.Form = DataForm::kHex;
        return ReadHexBytes(pos);
      default:
        return false;
    }
  }

  bool Matches(std::size_t pos, std::string_view ascii) const {
    if (limit_ - pos < ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
      if (text_[pos + i] != static_cast<char16_t>(ascii[i])) return false;
    }
    return true;
  }

  bool ReadString(std::size_t pos) {
    std::size_t i = pos + 1;
    for (;;) {
      i = FindSpecialInQuotes(text_, i, limit_);
      if (i >= limit_) return false;
      const char16_t unit = text_[i];
      if (unit == u'"') break;
      if (unit == u'\n') return false;
      if (unit == u'\\') {
        line_.DataHasBackslash = true;
        if (i + 1 < limit_ && (text_[i + 1] == u'\\' || text_[i + 1] == u'"')) ++i;
      }
      ++i;
    }
    line_.Form = DataForm::kString;
    line_.Type = REG_SZ;
    line_.Data = Span{pos + 1, i};
    return LineEnd(i + 1);
  }

  bool ReadNumber(std::size_t& pos, DWORD& value) const {
    value = 0;
    std::size_t digits = 0;
    while (pos + digits < limit_ && IsHexDigit(text_[pos + digits])) {
      if (digits == kMostHexDigits) return false;
      value = value << 4 | static_cast<DWORD>(HexDigitValue(text_[pos + digits]));
      ++digits;
    }
    pos += digits;
    return digits > 0;
  }

  bool ReadHexBytes(std::size_t pos) {
    line_.Data.Begin = pos;
    line_.HexByteCount = 0;
    for (;;) {
      pos = SkipHexTriplets(text_, pos, limit_, line_.HexByteCount);
      if (pos + 2 <= limit_ && IsHexDigit(text_[pos]) && IsHexDigit(text_[pos + 1])) {
        if (!LineEnd(pos + 2)) return false;
        ++line_.HexByteCount;
        line_.Data.End = pos + 2;
        return true;
      }
      if (LineEnd(pos)) {
        line_.Data.End = pos;
        return true;
      }
      // A backslash at the line end continues the list on the next line,
      // unless that is a key line or the end.
      if (pos >= limit_ || text_[pos] != u'\\' || !LineEnd(pos + 1)) return false;
      pos = SkipBlanks(text_, line_.Next, limit_);
      if (pos >= limit_ || text_[pos] == u'[') return false;
    }
  }

  const Text& text_;
  std::size_t limit_;
  ParsedLine& line_;
};

}  // namespace
}  // namespace regfile
