// Feeds arbitrary bytes to the registry export parser, whole as the
// importer reads a file: it may not crash, hang or read out of bounds.
// Each line is also parsed with and without the shortcut for common lines,
// which must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/export/reg_file.h"
#include "platform/standin/locale/code_pages.h"
#include "tests/support/reg_file_operations.h"

namespace {

bool Same(const regfile::ParsedLine& a, const regfile::ParsedLine& b) {
  auto same_span = [](regfile::Span x, regfile::Span y) { return x.Begin == y.Begin && x.End == y.End; };
  if (a.Kind != b.Kind || a.Next != b.Next) return false;
  if (a.Kind == regfile::LineKind::kKey) {
    return a.Deletion == b.Deletion && a.KeyRoot == b.KeyRoot && same_span(a.KeyPath, b.KeyPath);
  }
  if (a.Kind != regfile::LineKind::kValue) return true;
  if (!same_span(a.Name, b.Name) || a.NameHasBackslash != b.NameHasBackslash || a.Form != b.Form) return false;
  switch (a.Form) {
    case regfile::DataForm::kDelete:
      return true;
    case regfile::DataForm::kString:
      return a.Type == b.Type && same_span(a.Data, b.Data) && a.DataHasBackslash == b.DataHasBackslash;
    case regfile::DataForm::kDword:
      return a.Type == b.Type && a.Dword == b.Dword;
    case regfile::DataForm::kHex:
      return a.Type == b.Type && same_span(a.Data, b.Data) && a.HexByteCount == b.HexByteCount;
  }
  return false;
}

template <class Text>
void CompareLineParsers(const Text& text, std::size_t begin) {
  regfile::ParsedLine quick;
  regfile::ParsedLine full;
  for (std::size_t pos = begin; pos < text.Size; pos = full.Next) {
    regfile::ParseLine(text, pos, text.Size, quick);
    regfile::ParseLineInFull(text, pos, text.Size, full);
    if (!Same(quick, full)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto header = regfile::ReadExportHeader(bytes)) {
    if (header->WideText) {
      CompareLineParsers(regfile::Utf16Text{data + 2, header->Units}, header->BodyStart);
    } else {
      CompareLineParsers(regfile::ByteText{data, header->Units}, header->BodyStart);
    }
  }
  regfile::ParseRegFile(bytes, standin::AnsiFromUtf16le);
  return 0;
}
