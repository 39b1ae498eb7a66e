#include "platform/lan/visible_text.h"

#include "platform/lan/utf16_text.h"

namespace lan {
namespace {

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

void AppendEscaped(std::string& out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 0xF]);
}

}  // namespace

std::string VisibleText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    std::size_t length = 0;
    const char32_t code = DecodeUtf8(utf8, at, length);
    if (length == 0) {
      AppendEscaped(out, static_cast<unsigned char>(utf8[at++]));
      continue;
    }
    if (IsControl(code)) {
      for (std::size_t k = 0; k < length; ++k) AppendEscaped(out, static_cast<unsigned char>(utf8[at + k]));
    } else {
      out.append(utf8.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::string QuotedVisibleText(std::string_view utf8) { return '"' + VisibleText(utf8) + '"'; }

}  // namespace lan
