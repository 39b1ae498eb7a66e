#include "platform/lan/visible_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VisibleTextTest, ControlCharactersAreShownInsteadOfSent) {
  const struct {
    std::string Text, Shown;
  } kCases[] = {
      {"PC01 caf\xC3\xA9 \\\\x", "PC01 caf\xC3\xA9 \\\\x"},
      {"\x1B]0;owned\x07", "\\x1B]0;owned\\x07"},
      {"a\r\nb\tc\x7F", "a\\x0D\\x0Ab\\x09c\\x7F"},
      {std::string("\0", 1), "\\x00"},
      {"\xC2\x9B"
       "2J",
       "\\xC2\\x9B2J"},  // U+009B, the one-character CSI
      {"\x9B"
       "2J \xC3",
       "\\x9B2J \\xC3"},  // bytes that are no UTF-8
  };
  for (const auto& c : kCases) EXPECT_EQ(lan::VisibleText(c.Text), c.Shown) << c.Shown;
}

}  // namespace
