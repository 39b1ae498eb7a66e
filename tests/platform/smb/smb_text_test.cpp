#include "platform/smb/smb_text.h"

#include <gtest/gtest.h>

namespace smb {
namespace {

TEST(SmbText, RoundTripsAndReplacesWhatIsMalformed) {
  EXPECT_EQ(Utf8FromUtf16(u"Caf\u00e9 \u20ac \U0001F600"), "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(Utf16FromUtf8("Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), u"Caf\u00e9 \u20ac \U0001F600");
  // A lone surrogate; a truncated, an overlong and a surrogate sequence.
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, u'\xD800') + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(Utf16FromUtf8("\xe2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("\xc0\xaf"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");
}

TEST(SmbText, UrlPartsKeepOnlyUnreservedCharacters) {
  EXPECT_EQ(UrlEncoded("LAB-01.x_y~"), "LAB-01.x_y~");
  EXPECT_EQ(UrlEncoded("a b/c%\xc3\xa9"), "a%20b%2Fc%25%C3%A9");
}

}  // namespace
}  // namespace smb
