// Code pages of the stand-in: the ANSI code page follows the host's
// locale (UTF-8, 65001, under a UTF-8 locale, else 1252) and the OEM code
// page goes with it (65001 or 850). Conversions go through iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_api.h"

namespace standin {

// The iconv name of a Windows code page ("CP1252", "UTF-8", ...).
std::string IconvCodePageName(UINT code_page);

// Converts bytes between two iconv encodings. A character that the target
// cannot hold becomes replacement; bytes that are not valid in the source
// give no result.
std::optional<std::string> ConvertEncoding(std::string_view bytes, const std::string& from, const std::string& to,
                                           char replacement = '?');

// True when byte starts a two-byte character in the code page.
bool IsLeadByteOf(UINT code_page, BYTE byte);

}  // namespace standin

namespace standin {

// UTF-16LE bytes in the ANSI code page in force (GetACP); characters that
// it lacks become '?'. Nullopt when the bytes are not valid UTF-16.
std::optional<std::string> AnsiFromUtf16le(std::string_view utf16le);

// Text between the ANSI code page in force and UTF-16, as the stand-in's
// ANSI functions hand it to a LAN source and take it back (lan_source.h):
// a byte that the code page cannot decode becomes the lone unit
// 0xDC00 + byte and comes back as that byte; a character that the code
// page lacks becomes '?', and so does a surrogate without its partner.
std::u16string Utf16FromAnsi(std::string_view ansi);
std::string AnsiFromUtf16(std::u16string_view text);

// The same conversions into a string of the caller's, which they replace:
// a caller that keeps the string from call to call allocates nothing once
// it has grown. ASCII text is copied unit for byte without iconv.
void Utf16FromAnsi(std::string_view ansi, std::u16string& text);
void AnsiFromUtf16(std::u16string_view text, std::string& ansi);

// String data as a LAN source hands them (UTF-16LE bytes, an odd last byte
// standing for U+FFFD) in ANSI, as AnsiFromUtf16 converts their units;
// data that are all ASCII go straight from the bytes to ANSI. The bytes
// must not lie in `ansi` itself.
void AnsiFromStringData(std::string_view utf16le, std::string& ansi);

}  // namespace standin
