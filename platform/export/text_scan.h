// The text of an export file scanned for the line grammar (reg_file.h):
// blanks, line ends, hexadecimal digits, the characters that end a quoted
// string, runs of hexadecimal bytes. The grammar only looks at ASCII
// characters, so a ByteText and a Utf16Text read alike, unit by unit;
// the loops that a long file spends its time in test many units at once
// (memchr, SSE2 where the processor has it). Only reg_file.cpp and the
// parsers it is made of include this.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/ascii_case.h"
#include "platform/export/reg_file.h"

namespace regfile {
// Internal to reg_file.cpp, the one file that includes this: the same
// linkage as if written there, so that the compiler inlines alike.
namespace {

inline bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// The value of each ASCII hexadecimal digit, -1 for other characters.
inline constexpr std::array<signed char, 128> kHexDigitValues = [] {
  std::array<signed char, 128> values{};
  for (int unit = 0; unit < 128; ++unit) {
    values[static_cast<std::size_t>(unit)] = static_cast<signed char>(unit >= '0' && unit <= '9'   ? unit - '0'
                                                                      : unit >= 'a' && unit <= 'f' ? unit - 'a' + 10
                                                                      : unit >= 'A' && unit <= 'F' ? unit - 'A' + 10
                                                                                                   : -1);
  }
  return values;
}();

inline int HexDigitValue(char16_t unit) { return unit < 128 ? kHexDigitValues[unit] : -1; }

inline bool IsHexDigit(char16_t unit) { return HexDigitValue(unit) >= 0; }

// The first unit equal to `unit` (ASCII) in [from, limit), or limit.
inline std::size_t FindUnit(const ByteText& text, std::size_t from, std::size_t limit, char16_t unit) {
  if (from >= limit) return limit;
  const void* found = std::memchr(text.Data + from, unit, limit - from);
  return found == nullptr ? limit : static_cast<std::size_t>(static_cast<const unsigned char*>(found) - text.Data);
}

inline std::size_t FindUnit(const Utf16Text& text, std::size_t from, std::size_t limit, char16_t unit) {
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
inline constexpr std::uint64_t kByteOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kUnitOnes = 0x0001000100010001ULL;

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

inline bool IsSpecialInQuotes(char16_t unit) { return unit == u'"' || unit == u'\\' || unit == u'\n' || unit == 0; }

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
inline std::size_t FindLastUnit(const ByteText& text, std::size_t from, std::size_t end, char16_t unit) {
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

inline std::size_t FindLastUnit(const Utf16Text& text, std::size_t from, std::size_t end, char16_t unit) {
  for (std::size_t i = end; i > from;) {
    if (text[--i] == unit) return i;
  }
  return end;
}

inline bool ContainsZero(const ByteText& text, Span span) {
  return FindUnit(text, span.Begin, span.End, 0) != span.End;
}

inline bool ContainsZero(const Utf16Text& text, Span span) {
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

}  // namespace
}  // namespace regfile
