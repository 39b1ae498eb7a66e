#include "platform/lan/utf16_text.h"

namespace lan {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

char32_t DecodeUtf8(std::string_view utf8, std::size_t at, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(utf8[at]);
  length = 0;
  std::size_t extra = 0;
  char32_t code = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    code = lead & 0x1F;
    least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    code = lead & 0x0F;
    least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    code = lead & 0x07;
    least = 0x10000;
  } else {
    return 0;
  }
  if (at + extra >= utf8.size()) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto byte = static_cast<unsigned char>(utf8[at + k]);
    if (!IsContinuation(byte)) return 0;
    code = code << 6 | (byte & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  length = extra + 1;
  return code;
}

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<char16_t>(code));
    return;
  }
  code -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool IsByteUnit(std::u16string_view text, std::size_t index) {
  const char16_t unit = text[index];
  if (unit < kFirstByteUnit || unit > kLastByteUnit) return false;
  return index == 0 || !IsHighSurrogate(text[index - 1]);
}

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = 0;
    DecodeUtf8(text, at, length);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::u16string Utf16FromUtf8(std::string_view utf8, Undecodable undecodable) {
  std::u16string text;
  text.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    std::size_t length = 0;
    const char32_t code = DecodeUtf8(utf8, at, length);
    if (length == 0) {
      const auto byte = static_cast<unsigned char>(utf8[at]);
      text.push_back(undecodable == Undecodable::kByteUnits ? static_cast<char16_t>(0xDC00 | byte)
                                                            : static_cast<char16_t>(kReplacement));
      ++at;
      continue;
    }
    AppendUtf16(text, code);
    at += length;
  }
  return text;
}

std::string Utf8FromUtf16(std::u16string_view utf16, Undecodable undecodable) {
  std::string text;
  text.reserve(utf16.size());
  for (std::size_t at = 0; at < utf16.size(); ++at) {
    const char16_t unit = utf16[at];
    if (undecodable == Undecodable::kByteUnits && IsByteUnit(utf16, at)) {
      text.push_back(static_cast<char>(unit & 0xFF));
    } else if (IsHighSurrogate(unit) && at + 1 < utf16.size() && IsLowSurrogate(utf16[at + 1])) {
      AppendUtf8(text, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[at + 1] - 0xDC00));
      ++at;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(text, kReplacement);
    } else {
      AppendUtf8(text, unit);
    }
  }
  return text;
}

std::string Utf16leBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string Utf16FromUtf16le(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2 + 1);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  if (bytes.size() % 2 != 0) text.push_back(static_cast<char16_t>(kReplacement));
  return text;
}

}  // namespace lan
