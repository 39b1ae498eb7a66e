// Text as it crosses the LAN source interface: UTF-16 names and UTF-16LE
// string data, made from and turned back into the UTF-8 that LAN
// directories hold, and that libsmbclient speaks. What becomes of text that
// is not valid is chosen by the caller (Undecodable).
#pragma once

#include <string>
#include <string_view>

namespace lan {

// The first unit and the last unit that stand for a byte.
constexpr char16_t kFirstByteUnit = 0xDC80;
constexpr char16_t kLastByteUnit = 0xDCFF;

// True for a unit that stands for an undecodable byte: a low surrogate
// from U+DC80 to U+DCFF that follows no high surrogate.
bool IsByteUnit(std::u16string_view text, std::size_t index);

// The character that starts at utf8[at] and how many bytes it takes; 0
// bytes for a sequence that is not valid UTF-8 (overlong, a surrogate,
// beyond U+10FFFF, cut short).
char32_t DecodeUtf8(std::string_view utf8, std::size_t at, std::size_t& length);

// True when every byte of the text is part of valid UTF-8.
bool IsUtf8(std::string_view text);

// What becomes of a byte that is no part of valid UTF-8, and of a UTF-16
// surrogate without its partner.
enum class Undecodable {
  // The LAN seam's rule (lan_source.h), under which names come back as they
  // were: such a byte becomes the lone unit 0xDC00 + byte, and such a unit
  // becomes that byte again; any other lone surrogate becomes U+FFFD.
  kByteUnits,
  // Each becomes U+FFFD: for text handed to a library that wants valid
  // UTF-8 or UTF-16 (libsmbclient's names), or received from one.
  kReplaced,
};

std::u16string Utf16FromUtf8(std::string_view utf8, Undecodable undecodable = Undecodable::kByteUnits);

// Append the UTF-16 units and the UTF-8 bytes of a Unicode scalar value.
void AppendUtf16(std::u16string& out, char32_t code);
void AppendUtf8(std::string& out, char32_t code);

std::string Utf8FromUtf16(std::u16string_view utf16, Undecodable undecodable = Undecodable::kByteUnits);

// String data as the registry keeps it, and back; an odd last byte
// becomes U+FFFD.
std::string Utf16leBytes(std::u16string_view text);
std::u16string Utf16FromUtf16le(std::string_view bytes);

}  // namespace lan
