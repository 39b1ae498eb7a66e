#include "platform/export/reg_file.h"

#include <algorithm>
#include <cstdint>

#include "platform/export/common_line.h"
#include "platform/export/line_parser.h"
#include "platform/export/text_scan.h"

namespace regfile {

const char* const kNotAnExportMessage =
    "not a registry export: the first line must be \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"";
const char* const kBeforeTheFirstKeyMessage = "line before the first key line; the line is skipped";
const char* const kHalfUnitMessage = "the file ends in the middle of a UTF-16 character, which is ignored";
const char* const kSkippedLineSuffix = "; the line is skipped";
const char* const kSkippedKeySuffix = "; the line and the values below it are skipped";

namespace {

constexpr std::string_view kVersion4Header = "REGEDIT4";
constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";

}  // namespace

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

}  // namespace regfile
