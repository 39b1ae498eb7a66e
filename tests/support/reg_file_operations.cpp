#include "tests/support/reg_file_operations.h"

#include <type_traits>
#include <utility>

#include "platform/value_types.h"

namespace regfile {

namespace {

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
  int LineAt(std::size_t pos) { return lines_.At(text_, pos); }

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
  LineNumbers lines_;
};

}  // namespace

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
