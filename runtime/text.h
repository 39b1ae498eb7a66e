// Texts: counted byte strings in the system's ANSI code page, and the few
// operations that the program's name handling and matching rest on.
// Positions are 1-based; no operation fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

using Text = std::string;

// The bytes from p up to the first zero byte; a null p gives the empty text.
Text TextFromCString(const char* p);

// The number of bytes of t.
std::int32_t TextLength(std::string_view t);

Text JoinTexts(std::string_view a, std::string_view b);

// Same length and same bytes: case counts, nothing is trimmed.
bool TextEquals(std::string_view a, std::string_view b);

// The count bytes of t that begin at the 1-based start, clamped to t.
// A start below 1 counts as 1; a negative count gives the empty text.
Text Slice(std::string_view t, std::int32_t start, std::int32_t count);

// The 1-based position of the leftmost occurrence of pattern in text,
// compared byte for byte; 0 when there is none or either side is empty.
std::int32_t FindSubstring(std::string_view pattern, std::string_view text);

// t with the bytes A to Z replaced by a to z; every other byte unchanged.
Text AsciiLower(std::string_view t);
