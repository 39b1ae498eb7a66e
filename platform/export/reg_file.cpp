#include "platform/export/reg_file.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/ascii_case.h"

namespace regfile {

const char* const kNotAnExportMessage =
    "not a registry export: the first line must be \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"";
const char* const kBeforeTheFirstKeyMessage = "line before the first key line; the line is skipped";
const char* const kHalfUnitMessage = "the file ends in the middle of a UTF-16 character, which is ignored";

namespace {

// What a message says is skipped.
constexpr const char* kSkippedLineSuffix = "; the line is skipped";
constexpr const char* kSkippedKeySuffix = "; the line and the values below it are skipped";

// The grammar only looks at ASCII characters, so a ByteText and a
// Utf16Text read alike, unit by unit; names and strings are decoded by
// the caller when they are wanted.

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

// The longest hexadecimal number of a dword or a value type.
constexpr std::size_t kMostHexDigits = 8;

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// The value of each ASCII hexadecimal digit, -1 for other characters.
constexpr std::array<signed char, 128> kHexDigitValues = [] {
  std::array<signed char, 128> values{};
  for (int unit = 0; unit < 128; ++unit) {
    values[static_cast<std::size_t>(unit)] = static_cast<signed char>(unit >= '0' && unit <= '9'   ? unit - '0'
                                                                      : unit >= 'a' && unit <= 'f' ? unit - 'a' + 10
                                                                      : unit >= 'A' && unit <= 'F' ? unit - 'A' + 10
                                                                                                   : -1);
  }
  return values;
}();

int HexDigitValue(char16_t unit) { return unit < 128 ? kHexDigitValues[unit] : -1; }

bool IsHexDigit(char16_t unit) { return HexDigitValue(unit) >= 0; }

// The first unit equal to `unit` (ASCII) in [from, limit), or limit.
std::size_t FindUnit(const ByteText& text, std::size_t from, std::size_t limit, char16_t unit) {
  if (from >= limit) return limit;
  const void* found = std::memchr(text.Data + from, unit, limit - from);
  return found == nullptr ? limit : static_cast<std::size_t>(static_cast<const unsigned char*>(found) - text.Data);
}

std::size_t FindUnit(const Utf16Text& text, std::size_t from, std::size_t limit, char16_t unit) {
  // A byte equal to the unit's is its low byte only at an even offset and
  // with a zero byte behind it.
  std::size_t byte = 2 * from;
  const std::size_t end = 2 * limit;
  while (byte < end) {
    const void* found = std::memchr(text.Data + byte, unit, end - byte);
    if (found == nullptr) return limit;
    const auto at = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - text.Data);
    if (at % 2 == 0 && text.Data[at + 1] == 0) return at / 2;
    byte = at + 1;
  }
  return limit;
}

// The first quote, backslash, line feed or zero from `pos` on, or `end`.
// Sixteen bytes (eight UTF-16 units) are tested at once with SSE2 where
// the processor has it, else eight bytes at once on a little-endian
// host: a lane of `word ^ pattern` is zero where the unit is the
// pattern's, and `(x - ones) & ~x & highs` marks the lowest zero lane of
// x exactly (lanes above it may be marked falsely). Reading ahead stays
// within the text; what lies beyond `end` is not taken.
#if !defined(__SSE2__)
constexpr std::uint64_t kByteOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kUnitOnes = 0x0001000100010001ULL;

template <std::uint64_t kOnes>
std::uint64_t SpecialLanes(std::uint64_t word) {
  constexpr std::uint64_t kHighs = kOnes << (kOnes == kByteOnes ? 7 : 15);
  const std::uint64_t quote = word ^ (kOnes * '"');
  const std::uint64_t backslash = word ^ (kOnes * '\\');
  const std::uint64_t feed = word ^ (kOnes * '\n');
  return (((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) | ((feed - kOnes) & ~feed) |
          ((word - kOnes) & ~word)) &
         kHighs;
}
#endif

bool IsSpecialInQuotes(char16_t unit) { return unit == u'"' || unit == u'\\' || unit == u'\n' || unit == 0; }

template <class Text>
[[gnu::always_inline]] inline std::size_t FindSpecialInQuotes(const Text& text, std::size_t pos, std::size_t end) {
  constexpr bool kBytes = std::is_same_v<Text, ByteText>;
#if defined(__SSE2__)
  {
    constexpr std::size_t kUnits = kBytes ? 16 : 8;
    const __m128i quote = kBytes ? _mm_set1_epi8('"') : _mm_set1_epi16('"');
    const __m128i backslash = kBytes ? _mm_set1_epi8('\\') : _mm_set1_epi16('\\');
    const __m128i feed = kBytes ? _mm_set1_epi8('\n') : _mm_set1_epi16('\n');
    const __m128i zero = _mm_setzero_si128();
    for (; pos < end && pos + kUnits <= text.Size; pos += kUnits) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.Data + (kBytes ? pos : 2 * pos)));
      __m128i found;
      if constexpr (kBytes) {
        found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(units, quote), _mm_cmpeq_epi8(units, backslash)),
                             _mm_or_si128(_mm_cmpeq_epi8(units, feed), _mm_cmpeq_epi8(units, zero)));
      } else {
        found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, quote), _mm_cmpeq_epi16(units, backslash)),
                             _mm_or_si128(_mm_cmpeq_epi16(units, feed), _mm_cmpeq_epi16(units, zero)));
      }
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(found));
      if (mask != 0) return std::min(end, pos + static_cast<std::size_t>(std::countr_zero(mask)) / (kBytes ? 1 : 2));
    }
  }
#else
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::size_t kUnits = kBytes ? 8 : 4;
    for (; pos + kUnits <= end; pos += kUnits) {
      std::uint64_t word = 0;
      std::memcpy(&word, text.Data + (kBytes ? pos : 2 * pos), 8);
      const std::uint64_t lanes = SpecialLanes < kBytes ? kByteOnes : kUnitOnes > (word);
      if (lanes != 0) return pos + static_cast<std::size_t>(std::countr_zero(lanes)) / (kBytes ? 8 : 16);
    }
  }
#endif
  while (pos < end && !IsSpecialInQuotes(text[pos])) ++pos;
  return std::min(pos, end);
}

// Skips the bytes of a list of hexadecimal bytes written in the usual
// form, two digits and a comma, from `pos` up to `end`, counting them.
// Five (with UTF-16, two) are tested at once with SSE2 where the
// processor has it.
template <class Text>
std::size_t SkipHexTriplets(const Text& text, std::size_t pos, std::size_t end, std::size_t& count) {
#if defined(__SSE2__)
  {
    constexpr bool kBytes = std::is_same_v<Text, ByteText>;
    // The units a load holds, the triplets it tests, and where their
    // digits and commas lie in its byte mask.
    constexpr std::size_t kUnits = kBytes ? 16 : 8;
    constexpr std::size_t kTriplets = kBytes ? 5 : 2;
    constexpr unsigned kDigitBits = kBytes ? 0x06DBu : 0x03CFu;
    constexpr unsigned kCommaBits = kBytes ? 0x4924u : 0x0C30u;
    for (; pos + 3 * kTriplets <= end && pos + kUnits <= text.Size; pos += 3 * kTriplets) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.Data + (kBytes ? pos : 2 * pos)));
      __m128i digit;
      __m128i comma;
      if constexpr (kBytes) {
        const __m128i lower = _mm_or_si128(units, _mm_set1_epi8(0x20));
        const __m128i decimal =
            _mm_and_si128(_mm_cmpgt_epi8(units, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(units, _mm_set1_epi8('9' + 1)));
        const __m128i letter =
            _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
        digit = _mm_or_si128(decimal, letter);
        comma = _mm_cmpeq_epi8(units, _mm_set1_epi8(','));
      } else {
        const __m128i lower = _mm_or_si128(units, _mm_set1_epi16(0x20));
        const __m128i decimal = _mm_and_si128(_mm_cmpgt_epi16(units, _mm_set1_epi16('0' - 1)),
                                              _mm_cmplt_epi16(units, _mm_set1_epi16('9' + 1)));
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi16(lower, _mm_set1_epi16('a' - 1)),
                                             _mm_cmplt_epi16(lower, _mm_set1_epi16('f' + 1)));
        digit = _mm_or_si128(decimal, letter);
        comma = _mm_cmpeq_epi16(units, _mm_set1_epi16(','));
      }
      if ((static_cast<unsigned>(_mm_movemask_epi8(digit)) & kDigitBits) != kDigitBits ||
          (static_cast<unsigned>(_mm_movemask_epi8(comma)) & kCommaBits) != kCommaBits) {
        break;
      }
      count += kTriplets;
    }
  }
#endif
  while (pos + 3 <= end && IsHexDigit(text[pos]) && IsHexDigit(text[pos + 1]) && text[pos + 2] == u',') {
    pos += 3;
    ++count;
  }
  return pos;
}

// The last unit equal to `unit` in [from, end), or end.
std::size_t FindLastUnit(const ByteText& text, std::size_t from, std::size_t end, char16_t unit) {
#if defined(__GLIBC__)
  if (from >= end) return end;
  const void* found = memrchr(text.Data + from, unit, end - from);
  return found == nullptr ? end : static_cast<std::size_t>(static_cast<const unsigned char*>(found) - text.Data);
#else
  for (std::size_t i = end; i > from;) {
    if (text[--i] == unit) return i;
  }
  return end;
#endif
}

std::size_t FindLastUnit(const Utf16Text& text, std::size_t from, std::size_t end, char16_t unit) {
  for (std::size_t i = end; i > from;) {
    if (text[--i] == unit) return i;
  }
  return end;
}

bool ContainsZero(const ByteText& text, Span span) { return FindUnit(text, span.Begin, span.End, 0) != span.End; }

bool ContainsZero(const Utf16Text& text, Span span) {
  for (std::size_t i = span.Begin; i < span.End; ++i) {
    if (text[i] == 0) return true;
  }
  return false;
}

template <class Text>
std::size_t SkipBlanks(const Text& text, std::size_t pos, std::size_t end) {
  while (pos < end && IsBlank(text[pos])) ++pos;
  return pos;
}

// One physical line: its content [start, end) without the line end, and
// where the next one starts.
struct Physical {
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t next = 0;
};

template <class Text>
Physical PhysicalLine(const Text& text, std::size_t start, std::size_t limit) {
  const std::size_t line_end = FindUnit(text, start, limit, u'\n');
  Physical line{start, line_end, line_end < limit ? line_end + 1 : limit};
  if (line.end > start && text[line.end - 1] == u'\r') --line.end;
  return line;
}

// Nothing but blanks or a comment is left of the physical line.
template <class Text>
bool IsEndOfLine(const Text& text, std::size_t pos, std::size_t end) {
  pos = SkipBlanks(text, pos, end);
  return pos == end || text[pos] == u';';
}

template <class Text>
bool MatchesAsciiIgnoringCase(const Text& text, std::size_t pos, std::size_t end, std::string_view ascii) {
  if (end - pos < ascii.size()) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (ascii_case::Folded(text[pos + i]) != ascii_case::Folded(ascii[i])) return false;
  }
  return true;
}

template <class Text>
std::string Printable(const Text& text, std::size_t pos, std::size_t end) {
  while (end > pos && IsBlank(text[end - 1])) --end;
  std::string printable;
  for (std::size_t i = pos; i < end && printable.size() < 40; ++i) {
    const char16_t unit = text[i];
    printable.push_back(unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?');
  }
  return printable;
}

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

// ---------------------------------------------------------------------------
// The line grammar

std::optional<ExportHeader> ReadExportHeader(std::string_view file_bytes) {
  ExportHeader header;
  const auto* data = reinterpret_cast<const unsigned char*>(file_bytes.data());
  header.WideText = file_bytes.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  Physical first;
  bool version5 = false;
  auto matches = [&](const auto& text) {
    first = PhysicalLine(text, 0, text.Size);
    std::size_t end = first.end;
    while (end > 0 && IsBlank(text[end - 1])) --end;
    auto is = [&](std::string_view header_text) {
      return end == header_text.size() && MatchesAsciiIgnoringCase(text, 0, end, header_text);
    };
    version5 = is(kVersion5Header);
    return version5 || is(kVersion4Header);
  };
  bool recognised = false;
  if (header.WideText) {
    header.Units = (file_bytes.size() - 2) / 2;
    header.HalfUnitAtEnd = file_bytes.size() % 2 != 0;
    recognised = matches(Utf16Text{data + 2, header.Units});
  } else {
    header.Units = file_bytes.size();
    recognised = matches(ByteText{data, header.Units});
  }
  if (!recognised) return std::nullopt;
  header.WideStringData = version5;
  header.BodyStart = first.next;
  return header;
}

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

template <class Text>
void ParseLine(const Text& text, std::size_t begin, std::size_t limit, ParsedLine& line) {
  if (CommonLine<Text>(text, limit, line).Read(begin)) return;
  LineParser<Text>(text, limit, line).Run(begin);
}

template <class Text>
void ParseLineInFull(const Text& text, std::size_t begin, std::size_t limit, ParsedLine& line) {
  LineParser<Text>(text, limit, line).Run(begin);
}

template <class Text>
std::size_t FindKeyLine(const Text& text, std::size_t from) {
  for (std::size_t pos = from;; ++pos) {
    pos = FindUnit(text, pos, text.Size, u'[');
    if (pos == text.Size) return pos;
    std::size_t start = pos;
    while (start > from && IsBlank(text[start - 1])) --start;
    if (start == from || text[start - 1] == u'\n') return start;
  }
}

template <class Text>
std::size_t CountLineEnds(const Text& text, std::size_t from, std::size_t at) {
  std::size_t count = 0;
  for (std::size_t pos = FindUnit(text, from, at, u'\n'); pos < at; pos = FindUnit(text, pos + 1, at, u'\n')) ++count;
  return count;
}

namespace {

template <class Text, class Out>
void AppendUnquotedUnits(const Text& text, Span quoted, Out& out) {
  for (std::size_t i = quoted.Begin; i < quoted.End; ++i) {
    char16_t unit = text[i];
    if (unit == u'\\' && i + 1 < quoted.End && (text[i + 1] == u'\\' || text[i + 1] == u'"')) unit = text[++i];
    out.push_back(static_cast<typename Out::value_type>(unit));
  }
}

}  // namespace

void AppendUnquoted(const ByteText& text, Span quoted, std::string& out) {
  const std::size_t length = out.size();
  out.resize(length + quoted.Size());
  out.resize(length + TakeUnquoted(text, quoted, out.data() + length, quoted.Size()));
}

void AppendUnquoted(const Utf16Text& text, Span quoted, std::u16string& out) { AppendUnquotedUnits(text, quoted, out); }

std::size_t TakeUnquoted(const ByteText& text, Span& rest, char* out, std::size_t room) {
  std::size_t written = 0;
  std::size_t i = rest.Begin;
  for (; i < rest.End && written < room; ++i) {
    char16_t unit = text[i];
    if (unit == u'\\' && i + 1 < rest.End && (text[i + 1] == u'\\' || text[i + 1] == u'"')) unit = text[++i];
    out[written++] = static_cast<char>(unit);
  }
  rest.Begin = i;
  return written;
}

template <class Text>
std::size_t TakeHexBytes(const Text& text, Span& rest, unsigned char* out, std::size_t room) {
  // The list has been checked: runs of one or two digits are its bytes;
  // commas, blanks, line ends, backslashes and comments lie between them.
  std::size_t written = 0;
  std::size_t i = rest.Begin;
  for (; i < rest.End && written < room; ++i) {
    const char16_t unit = text[i];
    if (unit == u';') {
      i = FindUnit(text, i, rest.End, u'\n');
      continue;
    }
    const int high = HexDigitValue(unit);
    if (high < 0) continue;
    const int low = i + 1 < rest.End ? HexDigitValue(text[i + 1]) : -1;
    if (low < 0) {
      out[written++] = static_cast<unsigned char>(high);
    } else {
      out[written++] = static_cast<unsigned char>(high << 4 | low);
      ++i;
    }
  }
  rest.Begin = std::min(i, rest.End);
  return written;
}

template <class Text>
void WriteHexBytes(const Text& text, Span list, unsigned char* out) {
  TakeHexBytes(text, list, out, SIZE_MAX);
}

template void ParseLine(const ByteText&, std::size_t, std::size_t, ParsedLine&);
template void ParseLine(const Utf16Text&, std::size_t, std::size_t, ParsedLine&);
template void ParseLineInFull(const ByteText&, std::size_t, std::size_t, ParsedLine&);
template void ParseLineInFull(const Utf16Text&, std::size_t, std::size_t, ParsedLine&);
template std::size_t FindKeyLine(const ByteText&, std::size_t);
template std::size_t FindKeyLine(const Utf16Text&, std::size_t);
template std::size_t CountLineEnds(const ByteText&, std::size_t, std::size_t);
template std::size_t CountLineEnds(const Utf16Text&, std::size_t, std::size_t);
template void WriteHexBytes(const ByteText&, Span, unsigned char*);
template void WriteHexBytes(const Utf16Text&, Span, unsigned char*);
template std::size_t TakeHexBytes(const ByteText&, Span&, unsigned char*, std::size_t);
template std::size_t TakeHexBytes(const Utf16Text&, Span&, unsigned char*, std::size_t);

// ---------------------------------------------------------------------------
// The whole file as operations

namespace {

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A text that cannot be given in the reader's code page; the line that
// holds it is skipped.
struct Unconvertible {
  const char* message;
};

template <class Text>
class FileParser {
 public:
  FileParser(const Text& text, const ExportHeader& header, const AnsiFromUtf16& to_ansi)
      : text_(text), header_(header), to_ansi_(to_ansi) {}

  ParseResult Run() {
    ParsedLine line;
    for (std::size_t pos = header_.BodyStart; pos < text_.Size; pos = line.Next) {
      ParseLine(text_, pos, text_.Size, line);
      const int number = LineAt(pos);
      switch (line.Kind) {
        case LineKind::kNothing:
          break;
        case LineKind::kSkippedKey:
          Skip(LineAt(line.FaultAt), line.Message);
          dropping_ = true;
          break;
        case LineKind::kSkipped:
          if (!has_key_) {
            Skip(number, kBeforeTheFirstKeyMessage);
          } else if (!dropping_) {
            Skip(LineAt(line.FaultAt), line.Message);
          }
          break;
        case LineKind::kKey:
          AddKey(line, number);
          break;
        case LineKind::kValue:
          if (dropping_) break;
          if (!has_key_) {
            Skip(number, kBeforeTheFirstKeyMessage);
            break;
          }
          AddValue(line, number);
          break;
      }
    }
    if (header_.HalfUnitAtEnd) Skip(LineAt(text_.Size), kHalfUnitMessage);
    return std::move(result_);
  }

 private:
  int LineAt(std::size_t pos) {
    if (pos < counted_to_) {
      counted_to_ = 0;
      counted_lines_ = 0;
    }
    counted_lines_ += CountLineEnds(text_, counted_to_, pos);
    counted_to_ = pos;
    return static_cast<int>(counted_lines_) + 1;
  }

  void Skip(int number, std::string message) { result_.Skipped.push_back(ParseError{number, std::move(message)}); }

  void AddKey(const ParsedLine& line, int number) {
    Operation operation;
    operation.Kind = line.Deletion ? OperationKind::kDeleteKey : OperationKind::kCreateKey;
    operation.KeyRoot = line.KeyRoot;
    operation.Line = number;
    try {
      operation.KeyPath = Ansi(FileUnits(line.KeyPath));
    } catch (const Unconvertible& failure) {
      Skip(number, std::string(failure.message) + kSkippedKeySuffix);
      dropping_ = true;
      return;
    }
    key_root_ = operation.KeyRoot;
    key_path_ = operation.KeyPath;
    has_key_ = true;
    dropping_ = line.Deletion;
    result_.Operations.push_back(std::move(operation));
  }

  void AddValue(const ParsedLine& line, int number) {
    Operation operation;
    operation.KeyRoot = key_root_;
    operation.KeyPath = key_path_;
    operation.Line = number;
    operation.Type = line.Type;
    try {
      operation.ValueName = Ansi(Unquoted(line.Name));
      switch (line.Form) {
        case DataForm::kDelete:
          operation.Kind = OperationKind::kDeleteValue;
          operation.Type = REG_NONE;
          break;
        case DataForm::kString:
          operation.Kind = OperationKind::kSetValue;
          operation.Data = Ansi(Unquoted(line.Data));
          operation.Data.push_back('\0');
          break;
        case DataForm::kDword:
          operation.Kind = OperationKind::kSetValue;
          for (int shift = 0; shift < 32; shift += 8) operation.Data.push_back(static_cast<char>(line.Dword >> shift));
          break;
        case DataForm::kHex:
          operation.Kind = OperationKind::kSetValue;
          operation.Data.resize(line.HexByteCount);
          WriteHexBytes(text_, line.Data, reinterpret_cast<unsigned char*>(operation.Data.data()));
          if (IsStringType(line.Type)) operation.Data = StringData(operation.Data);
          break;
      }
    } catch (const Unconvertible& failure) {
      Skip(number, std::string(failure.message) + kSkippedLineSuffix);
      return;
    }
    result_.Operations.push_back(std::move(operation));
  }

  // Units of the file as they stand: bytes, or UTF-16LE bytes.
  std::string FileUnits(Span span) const {
    std::string units;
    for (std::size_t i = span.Begin; i < span.End; ++i) PutUnit(units, text_[i]);
    return units;
  }

  std::string Unquoted(Span quoted) const {
    if constexpr (std::is_same_v<Text, ByteText>) {
      std::string bytes;
      AppendUnquoted(text_, quoted, bytes);
      return bytes;
    } else {
      std::u16string units;
      AppendUnquoted(text_, quoted, units);
      std::string wide;
      for (char16_t unit : units) PutUnit(wide, unit);
      return wide;
    }
  }

  static void PutUnit(std::string& out, char16_t unit) {
    if constexpr (std::is_same_v<Text, ByteText>) {
      out.push_back(static_cast<char>(unit));
    } else {
      out.push_back(static_cast<char>(unit & 0xFF));
      out.push_back(static_cast<char>(unit >> 8));
    }
  }

  // Text of the file, as FileUnits or Unquoted give it, in the reader's
  // ANSI code page.
  std::string Ansi(const std::string& units) const {
    if constexpr (std::is_same_v<Text, ByteText>) {
      return units;
    } else {
      return Utf16ToAnsi(units, "text that is not valid UTF-16");
    }
  }

  std::string Utf16ToAnsi(const std::string& utf16le, const char* failure) const {
    bool ascii = true;
    for (std::size_t i = 0; i + 1 < utf16le.size() && ascii; i += 2) {
      ascii = static_cast<unsigned char>(utf16le[i]) < 0x80 && utf16le[i + 1] == 0;
    }
    if (ascii) {
      std::string bytes;
      for (std::size_t i = 0; i + 1 < utf16le.size(); i += 2) bytes.push_back(utf16le[i]);
      return bytes;
    }
    std::optional<std::string> converted = to_ansi_(utf16le);
    if (!converted) throw Unconvertible{failure};
    return std::move(*converted);
  }

  // The data of hex(1), hex(2) and hex(7): UTF-16LE after a version 5
  // header, else ANSI bytes as they stand.
  std::string StringData(const std::string& data) const {
    if (!header_.WideStringData) return data;
    if (data.size() % 2 != 0) throw Unconvertible{"string data with an odd number of bytes"};
    return Utf16ToAnsi(data, "string data that is not valid UTF-16");
  }

  const Text& text_;
  const ExportHeader& header_;
  const AnsiFromUtf16& to_ansi_;
  ParseResult result_;
  bool has_key_ = false;
  bool dropping_ = false;  // below a deleted key or a key line that was skipped
  Root key_root_ = Root::kLocalMachine;
  std::string key_path_;
  std::size_t counted_to_ = 0;
  std::size_t counted_lines_ = 0;
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
  const std::optional<ExportHeader> header = ReadExportHeader(file_bytes);
  if (!header) {
    ParseResult refused;
    refused.Error = ParseError{1, kNotAnExportMessage};
    return refused;
  }
  const auto* data = reinterpret_cast<const unsigned char*>(file_bytes.data());
  if (header->WideText) {
    const Utf16Text text{data + 2, header->Units};
    return FileParser<Utf16Text>(text, *header, to_ansi).Run();
  }
  const ByteText text{data, header->Units};
  return FileParser<ByteText>(text, *header, to_ansi).Run();
}

}  // namespace regfile
