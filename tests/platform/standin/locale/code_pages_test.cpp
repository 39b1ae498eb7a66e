// The stand-in's code pages: text crosses between the ANSI code page and
// UTF-16 and comes back as it was, and characters get iconv's bytes.
#include "platform/standin/locale/code_pages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/lan/utf16_text.h"
#include "platform/standin/locale/locale_control.h"

namespace {

// Bytes that are valid UTF-8, and bytes that are not.
const std::vector<std::string> kTexts = {
    "plain",
    "caf\xC3\xA9",
    "\xE6\x97\xA5",
    "\xF0\x9F\x98\x80",
    "d\xC9j\xE0",
    "a\x80\xFF",
    "\xED\xA0\x80",      // a surrogate written in UTF-8
    "\xF4\x90\x80\x80",  // beyond U+10FFFF
    "\xC3",              // cut short
    "\x81\x8D",          // not in code page 1252
};

TEST(CodePagesTest, BytesComeBackAsTheyWere) {
  for (const std::string& text : kTexts) {
    EXPECT_EQ(lan::Utf8FromUtf16(lan::Utf16FromUtf8(text)), text);
    for (UINT code_page : {CP_UTF8, 1252u}) {
      standin::SetLocaleFactsForTesting({.AnsiCodePage = code_page});
      EXPECT_EQ(standin::AnsiFromUtf16(standin::Utf16FromAnsi(text)), text) << code_page;
    }
  }
  EXPECT_TRUE(lan::IsUtf8("caf\xC3\xA9"));
  EXPECT_FALSE(lan::IsUtf8("caf\xE9"));
  standin::SetLocaleFactsForTesting({.AnsiCodePage = 1252});
  EXPECT_EQ(standin::Utf16FromAnsi("caf\xE9"), u"caf\u00E9");
  EXPECT_EQ(standin::AnsiFromUtf16(std::u16string{0x03A9, u' ', 0xD800}), "? ?")
      << "lacking in the code page, or half a pair";
  standin::SetLocaleFactsForTesting({});
}

// String data straight from UTF-16LE bytes, into a buffer that is reused
// from case to case, against the units' own conversion.
TEST(CodePagesTest, StringDataConvertAsTheirUnitsDo) {
  struct Case {
    std::u16string units;
    std::string in_1252;
    std::string in_utf8;
  };
  const Case cases[] = {
      {u"Plain text, long enough to be vectorised", "Plain text, long enough to be vectorised",
       "Plain text, long enough to be vectorised"},
      {u"", "", ""},
      {u"Caf\u00E9", "Caf\xE9", "Caf\xC3\xA9"},
      {u"\u0141\u03A9", "??", "\xC5\x81\xCE\xA9"},  // ASCII low bytes under a high byte
      {u"\U0001F600", "?", "\xF0\x9F\x98\x80"},     // a pair is one character
      {std::u16string{u'a', 0xDC80, 0xDCFF}, "a\x80\xFF", "a\x80\xFF"},
      {std::u16string{0xD800, u'b', 0xDC00}, "?b?",
       "\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"},
  };
  std::string ansi = "left over from before";
  for (const Case& c : cases) {
    for (const bool odd : {false, true}) {
      std::string bytes = lan::Utf16leBytes(c.units);
      if (odd) bytes += 'x';  // an odd last byte stands for U+FFFD
      for (const UINT code_page : {1252u, CP_UTF8}) {
        SCOPED_TRACE(lan::Utf8FromUtf16(c.units) + (odd ? " odd " : " ") + std::to_string(code_page));
        standin::SetLocaleFactsForTesting({.AnsiCodePage = code_page});
        std::string expected = code_page == CP_UTF8 ? c.in_utf8 : c.in_1252;
        if (odd) expected += code_page == CP_UTF8 ? "\xEF\xBF\xBD" : "?";
        standin::AnsiFromStringData(bytes, ansi);
        EXPECT_EQ(ansi, expected);
        EXPECT_EQ(ansi, standin::AnsiFromUtf16(lan::Utf16FromUtf16le(bytes)));
      }
    }
  }
  standin::SetLocaleFactsForTesting({});
}

// Text that is not ASCII goes a character at a time: under UTF-8 written
// directly, else through iconv with each character's bytes remembered. The
// bytes are iconv's for the whole text, for characters from all over the
// BMP (a leading U+FEFF included) and for pairs, the first time and again.
TEST(CodePagesTest, CharactersGetIconvsBytesInEveryCodePage) {
  std::u16string characters = u"\uFEFF\U00010000\U0001F600\U0010FFFF";
  for (char32_t code = 0x80; code <= 0xFFFF; code += code < 0x400 ? 1 : 89) {
    if (code < 0xD800 || code > 0xDFFF) characters.push_back(static_cast<char16_t>(code));
  }
  for (const UINT code_page : {CP_UTF8, 1252u, 932u}) {
    SCOPED_TRACE(code_page);
    standin::SetLocaleFactsForTesting({.AnsiCodePage = code_page});
    const std::optional<std::string> expected =
        standin::ConvertEncoding(lan::Utf16leBytes(characters), "UTF-16LE", standin::IconvCodePageName(code_page));
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(standin::AnsiFromUtf16(characters), *expected);
    EXPECT_EQ(standin::AnsiFromUtf16(characters), *expected);
  }
  standin::SetLocaleFactsForTesting({});
}

}  // namespace
