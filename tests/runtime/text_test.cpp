#include "runtime/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextTest, FromCStringStopsAtTheFirstZeroAndTakesNullAsEmpty) {
  EXPECT_EQ(TextFromCString(nullptr), "");
  EXPECT_EQ(TextFromCString("PC01\0tail"), "PC01");
  EXPECT_EQ(TextLength(TextFromCString("\xC4pfel")), 5);
}

TEST(TextTest, JoinAndEqualsWorkOnBytes) {
  EXPECT_EQ(JoinTexts("COMPUTER: ", "PC01"), "COMPUTER: PC01");
  EXPECT_EQ(JoinTexts("", "x"), "x");
  EXPECT_EQ(JoinTexts(std::string("a\0b", 3), "c"), std::string("a\0bc", 4));
  EXPECT_TRUE(TextEquals("*", "*"));
  EXPECT_TRUE(TextEquals("", ""));
  EXPECT_FALSE(TextEquals("*", "**"));
  EXPECT_FALSE(TextEquals("*", ""));
  EXPECT_FALSE(TextEquals("a", "A"));
}

TEST(TextTest, SliceClampsStartAndCount) {
  struct Case {
    const char* text;
    std::int32_t start;
    std::int32_t count;
    const char* expected;
  };
  const Case cases[] = {
      {"\\\\PC01", 3, 6, "PC01"},
      {"\\\\A", 3, 3, "A"},
      {"\\\\", 3, 2, ""},
      {"\\", 3, 1, ""},
      {"", 3, 0, ""},
      {"abc", 0, 2, "ab"},
      {"abc", -5, 2, "ab"},
      {"abc", 4, 1, ""},
      {"abc", 2, -1, ""},
      {"abc", 2, 0, ""},
      {"abc", 2, 100, "bc"},
      {"abc", 1, 3, "abc"},
      {"abc", 3, 1, "c"},
      {"abc", INT32_MIN, 1, "a"},
      {"abc", 2, INT32_MAX, "bc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Slice(c.text, c.start, c.count), c.expected) << c.text << " " << c.start << " " << c.count;
  }
}

TEST(TextTest, FindSubstringGivesTheLeftmostPosition) {
  struct Case {
    const char* pattern;
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"b", "abcb", 2},       {"abc", "abc", 1},    {"aa", "baaa", 2}, {"abcd", "abc", 0}, {"", "any", 0},
      {"any", "", 0},         {"", "", 0},          {"c", "abc", 3},   {"ab", "aab", 2},   {"xyz", "xyxyz", 3},
      {"off*", "office*", 0}, {"e*", "office*", 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindSubstring(c.pattern, c.text), c.expected) << c.pattern << " in " << c.text;
  }
  // Bytes compare exactly, high bytes and zero bytes included.
  EXPECT_EQ(FindSubstring("\xE9", "caf\xC9\xE9"), 5);
  EXPECT_EQ(FindSubstring(std::string("\0b", 2), std::string("a\0b", 3)), 2);
}

TEST(TextTest, AsciiLowerChangesOnlyTheLettersAToZ) {
  EXPECT_EQ(AsciiLower("Office SUITE 2.0"), "office suite 2.0");
  EXPECT_EQ(AsciiLower("@[`{"), "@[`{");
  EXPECT_EQ(AsciiLower("\xC4\xC9"), "\xC4\xC9");
  EXPECT_NE(AsciiLower("\xC4\xC9"), "\xE4\xE9");
  std::string every_byte;
  for (int byte = 0; byte < 256; ++byte) every_byte.push_back(static_cast<char>(byte));
  const Text lower = AsciiLower(every_byte);
  ASSERT_EQ(lower.size(), 256u);
  for (int byte = 0; byte < 256; ++byte) {
    const int expected = (byte >= 'A' && byte <= 'Z') ? byte + 0x20 : byte;
    EXPECT_EQ(static_cast<unsigned char>(lower[static_cast<std::size_t>(byte)]), expected) << byte;
  }
}

}  // namespace
