#include "runtime/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/standin/console/console_control.h"
#include "platform/standin/locale/locale_control.h"

namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  void TearDown() override {
    standin::SetCommandLineForTesting("kestrova");
    standin::SetLocaleFactsForTesting({});
  }
  static void UseLine(const std::string& line) { standin::SetCommandLineForTesting(line); }
};

TEST_F(CommandLineTest, SplitsByTheQuotingRules) {
  struct Case {
    std::string rest;  // what follows the leading word
    std::int32_t count;
    std::string first;
  };
  const Case cases[] = {
      {"", 0, ""},
      {"two words", 2, "two"},
      {"\"two words\"", 1, "two words"},
      {"\"\"", 0, ""},
      {"\"\" \"\"", 0, ""},
      {"\"\" *", 1, "*"},
      {"\" \"", 1, " "},
      {"a\tb", 2, "a"},
      {"a\x01"
       "b",
       2, "a"},
      {"a\"b c\"d", 1, "ab cd"},
      {"\"two words\"x y", 2, "two wordsx"},
      {"\"a\"\"b\"", 1, "ab"},
      {"\"a \"\" b\"", 1, "a  b"},
      {"\"abc", 1, "abc"},
      {"a\\\"b c", 1, "a\\b c"},
      {"C:\\dir\\ x", 2, "C:\\dir\\"},
      {"a \"", 1, "a"},
      {"\"", 0, ""},
      {"\" x", 1, " x"},
      {"\r\n*\x7F", 1, "*\x7F"},
      {"\xE9t\xE9 \xFF", 2, "\xE9t\xE9"},
  };
  for (const Case& c : cases) {
    UseLine("kestrova " + c.rest);
    EXPECT_EQ(ArgumentCount(), c.count) << "rest: " << c.rest;
    EXPECT_EQ(ArgumentAt(1), c.first) << "rest: " << c.rest;
  }
}

TEST_F(CommandLineTest, LaterPositionsAndTheirEnd) {
  UseLine("kestrova one \"two 2\" three");
  EXPECT_EQ(ArgumentCount(), 3);
  EXPECT_EQ(ArgumentAt(2), "two 2");
  EXPECT_EQ(ArgumentAt(3), "three");
  EXPECT_EQ(ArgumentAt(4), "");
  EXPECT_EQ(ArgumentAt(-1), "");
  EXPECT_EQ(ArgumentAt(INT32_MIN), "");
}

TEST_F(CommandLineTest, AnAsteriskRightBehindTheQuotedProgramJoinsIt) {
  UseLine("\"C:\\Program Files\\Kestrova.exe\"*");
  EXPECT_EQ(ArgumentCount(), 0);
  UseLine("\"C:\\Program Files\\Kestrova.exe\" *");
  EXPECT_EQ(ArgumentCount(), 1);
  EXPECT_EQ(ArgumentAt(1), "*");
}

TEST_F(CommandLineTest, PositionZeroIsTheExecutablesRealPath) {
  UseLine("kestrova x");
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  ASSERT_GT(length, 0);
  EXPECT_EQ(ArgumentAt(0), std::string(path, static_cast<std::size_t>(length)));
}

TEST_F(CommandLineTest, NextArgumentStopsOnTheSeparatorThatEndsIt) {
  const char* line = "  first\tsecond";
  const char* cursor = line;
  EXPECT_EQ(NextArgument(cursor), "first");
  EXPECT_EQ(cursor, line + 7);
  EXPECT_EQ(NextArgument(cursor), "second");
  EXPECT_EQ(*cursor, '\0');
  EXPECT_EQ(NextArgument(cursor), "");
}

TEST_F(CommandLineTest, DoubleByteCharactersStayWhole) {
  // In code page 932 the byte 0x81 leads a two-byte character, so the
  // space after it is that character's second byte, not a separator.
  UseLine("kestrova a\x81 b c");
  EXPECT_EQ(ArgumentCount(), 3);
  standin::SetLocaleFactsForTesting({.AnsiCodePage = 932});
  EXPECT_EQ(ArgumentCount(), 2);
  EXPECT_EQ(ArgumentAt(1), "a\x81 b");
  // A lead byte at the very end stands alone.
  UseLine("kestrova \"x\x81");
  EXPECT_EQ(ArgumentAt(1), "x\x81");
}

}  // namespace
