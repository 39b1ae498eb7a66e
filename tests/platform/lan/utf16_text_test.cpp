// The one converter between UTF-8 and UTF-16, under each rule for text
// that is not valid: byte units that come back as the bytes they were, or
// U+FFFD where a library wants valid text.
#include "platform/lan/utf16_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using lan::Undecodable;

TEST(Utf16TextTest, ValidTextRoundTripsUnderEitherRule) {
  const std::string utf8 = "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  const std::u16string utf16 = u"Caf\u00e9 \u20ac \U0001F600";
  for (const Undecodable rule : {Undecodable::kByteUnits, Undecodable::kReplaced}) {
    EXPECT_EQ(lan::Utf16FromUtf8(utf8, rule), utf16);
    EXPECT_EQ(lan::Utf8FromUtf16(utf16, rule), utf8);
  }
}

TEST(Utf16TextTest, WhatIsMalformedBecomesByteUnitsOrReplacementCharacters) {
  // A truncated, an overlong and a surrogate sequence: each byte on its own.
  const struct {
    std::string Utf8;
    std::u16string ByteUnits, Replaced;
  } kBytes[] = {
      {"\xe2\x82", u"\xDCE2\xDC82", u"\uFFFD\uFFFD"},
      {"\xc0\xaf", u"\xDCC0\xDCAF", u"\uFFFD\uFFFD"},
      {"\xed\xa0\x80", u"\xDCED\xDCA0\xDC80", u"\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : kBytes) {
    EXPECT_EQ(lan::Utf16FromUtf8(c.Utf8, Undecodable::kByteUnits), c.ByteUnits);
    EXPECT_EQ(lan::Utf8FromUtf16(c.ByteUnits, Undecodable::kByteUnits), c.Utf8);
    EXPECT_EQ(lan::Utf16FromUtf8(c.Utf8, Undecodable::kReplaced), c.Replaced);
  }
  // Lone surrogates: a byte unit is a byte only under its own rule.
  const std::u16string lone = std::u16string(1, u'\xD800') + u"x" + std::u16string(1, u'\xDCE9');
  EXPECT_EQ(lan::Utf8FromUtf16(lone, Undecodable::kByteUnits), "\xef\xbf\xbdx\xe9");
  EXPECT_EQ(lan::Utf8FromUtf16(lone, Undecodable::kReplaced), "\xef\xbf\xbdx\xef\xbf\xbd");
}

}  // namespace
