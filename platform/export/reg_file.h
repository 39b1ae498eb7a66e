// Registry export files (.reg) as the Windows registry editor writes them.
//
// Two formats are understood:
// - "REGEDIT4": ANSI text in the code page of the machine that wrote it,
//   and so are the data of hex(1), hex(2) and hex(7).
// - "Windows Registry Editor Version 5.00": UTF-16LE text after a
//   byte-order mark; the data of hex(1), hex(2) and hex(7) are UTF-16LE.
//
// The file is read as Windows' importer reads it: a line that cannot be
// parsed is skipped with its continuation lines, values below a key line
// that deletes a key (or that cannot be parsed) are dropped up to the
// next key line, and the rest is read. Only a file whose first line is no
// export header is refused whole.
//
// This is the line grammar (ReadExportHeader, ParseLine and the decoders),
// which makes no platform call: one logical line at a time, over the
// file's text as it lies in memory, without copying it. The registry that
// reads an export file lazily (export_registry.h) is built on it, and so
// is the tests' reading of a whole file as operations
// (tests/support/reg_file_operations.h). The grammar's parts:
// text_scan.h (the scanning), line_parser.h (every line in full) and
// common_line.h (the shortcut for the usual lines).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_api.h"

namespace regfile {

// The predefined roots that a key line may name.
enum class Root { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

// The text of a file without a byte-order mark: one unit per byte.
struct ByteText {
  const unsigned char* Data = nullptr;
  std::size_t Size = 0;  // in units
  char16_t operator[](std::size_t i) const { return Data[i]; }
};

// The text of a file with a UTF-16LE byte-order mark: the units after it.
struct Utf16Text {
  const unsigned char* Data = nullptr;  // the first unit after the mark
  std::size_t Size = 0;                 // in whole units
  char16_t operator[](std::size_t i) const {
    return static_cast<char16_t>(Data[2 * i] | static_cast<unsigned>(Data[2 * i + 1]) << 8);
  }
};

// What the first line of a file says about the rest.
struct ExportHeader {
  bool WideText = false;        // UTF-16LE after a byte-order mark: Utf16Text
  bool WideStringData = false;  // a version 5 header: hex(1), hex(2), hex(7) hold UTF-16LE
  std::size_t BodyStart = 0;    // the unit where the second line starts
  std::size_t Units = 0;        // the text's length in units
  bool HalfUnitAtEnd = false;   // a UTF-16 text whose last byte is half a unit
};

// The message for a file that ReadExportHeader refuses.
extern const char* const kNotAnExportMessage;
// The message for a line before the first key line that is no comment.
extern const char* const kBeforeTheFirstKeyMessage;
// The message for a UTF-16 text whose last byte is half a unit.
extern const char* const kHalfUnitMessage;
// The end of the message of a skipped line: what is skipped with it.
extern const char* const kSkippedLineSuffix;
extern const char* const kSkippedKeySuffix;

// The header of a file; nullopt when its first line is no export header.
std::optional<ExportHeader> ReadExportHeader(std::string_view file_bytes);

// A stretch of the text, in units: [Begin, End).
struct Span {
  std::size_t Begin = 0;
  std::size_t End = 0;
  std::size_t Size() const { return End - Begin; }
  bool Empty() const { return End == Begin; }
};

enum class LineKind {
  kNothing,     // blank, a comment, or the end of the text
  kKey,         // [ROOT\path] or [-ROOT\path]
  kValue,       // "name"=data or @=data
  kSkipped,     // cannot be parsed: skipped, with its continuation lines
  kSkippedKey,  // a key line that cannot be parsed: the values below it are dropped with it
};

enum class DataForm {
  kDelete,  // =-
  kString,  // ="text"
  kDword,   // =dword:n
  kHex,     // =hex:... or =hex(type):...
};

// One logical line: a physical line, and for a list of hexadecimal bytes
// (or a line that cannot be parsed) the lines that its trailing
// backslashes continue it onto. A line that starts with '[' is never a
// continuation: it is always a key line.
struct ParsedLine {
  LineKind Kind = LineKind::kNothing;
  std::size_t Next = 0;  // where the next logical line starts

  // kKey
  bool Deletion = false;
  Root KeyRoot = Root::kLocalMachine;
  // Below the root, without the separator, as written: empty for the root
  // itself; names separated by backslashes, runs of them and a trailing
  // one allowed.
  Span KeyPath;

  // kValue
  Span Name;  // between the quotes, escapes as written; empty for @
  DataForm Form = DataForm::kDelete;
  DWORD Type = REG_NONE;
  DWORD Dword = 0;
  // kString: between the quotes, escapes as written; kHex: the list of
  // bytes, through its continuation lines.
  Span Data;
  std::size_t HexByteCount = 0;  // kHex
  // The quoted Name or Data holds a backslash: an escape, or one that
  // stands for itself. Without one, a quoted span is its text as it is.
  bool NameHasBackslash = false;
  bool DataHasBackslash = false;

  // kSkipped, kSkippedKey
  std::size_t FaultAt = 0;  // the unit where the fault lies, for its line number
  std::string Message;
};

// Parses the logical line that starts at `begin`, the start of a physical
// line, reading no further than `limit` (the end of the text or the start
// of a key line).
template <class Text>
void ParseLine(const Text& text, std::size_t begin, std::size_t limit, ParsedLine& line);

// ParseLine without the shortcut that it takes for the common shapes of a
// line; the two answer alike (the fuzzer holds them to it).
template <class Text>
void ParseLineInFull(const Text& text, std::size_t begin, std::size_t limit, ParsedLine& line);

// The start of the next line whose first character other than blanks is
// '[', from `from` (the start of a physical line) on; text.Size when there
// is none. Key lines start logical lines, so they are found without
// parsing what lies between them.
template <class Text>
std::size_t FindKeyLine(const Text& text, std::size_t from);

// The number of line ends before unit `at`, from unit `from` on.
template <class Text>
std::size_t CountLineEnds(const Text& text, std::size_t from, std::size_t at);

// The line numbers (1-based) of units of one text, asked for mostly in
// the order they come: the count goes on from the unit asked for before,
// and starts again only for a unit that lies before it.
class LineNumbers {
 public:
  template <class Text>
  int At(const Text& text, std::size_t at) {
    if (at < counted_to_) {
      counted_to_ = 0;
      counted_lines_ = 0;
    }
    counted_lines_ += CountLineEnds(text, counted_to_, at);
    counted_to_ = at;
    return static_cast<int>(counted_lines_) + 1;
  }

 private:
  std::size_t counted_to_ = 0;
  std::size_t counted_lines_ = 0;  // the line ends before counted_to_
};

// Appends the units of a quoted name or string (a ParsedLine's Name or
// Data), with \\ and \" resolved, to `out`: bytes for a ByteText, UTF-16
// units for a Utf16Text.
void AppendUnquoted(const ByteText& text, Span quoted, std::string& out);
void AppendUnquoted(const Utf16Text& text, Span quoted, std::u16string& out);

// Writes the bytes of a kHex line's list (HexByteCount of them) to `out`.
template <class Text>
void WriteHexBytes(const Text& text, Span list, unsigned char* out);

// The same two a piece at a time, for data too large to be held whole:
// at most `room` bytes from the start of `rest` (a quoted span or a list,
// or what is left of one) go to `out`, and `rest` starts behind them.
// Each answers the number of bytes written; fewer than `room` only when
// `rest` is used up.
std::size_t TakeUnquoted(const ByteText& text, Span& rest, char* out, std::size_t room);
template <class Text>
std::size_t TakeHexBytes(const Text& text, Span& rest, unsigned char* out, std::size_t room);

}  // namespace regfile
