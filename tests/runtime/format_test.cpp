#include "runtime/format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(FormatTest, FillsEachConversion) {
  EXPECT_EQ(FormatText("List index out of bounds (%d)", {-1}), "List index out of bounds (-1)");
  EXPECT_EQ(FormatText("I/O error %d", {232}), "I/O error 232");
  EXPECT_EQ(FormatText("%d", {INT32_MIN}), "-2147483648");
  EXPECT_EQ(FormatText("Invalid data type for '%s'", {"DisplayName"}), "Invalid data type for 'DisplayName'");
  EXPECT_EQ(FormatText("External exception %x", {0xC0000005u}), "External exception C0000005");
  EXPECT_EQ(FormatText("%x", {0x1Au}), "1A");
  EXPECT_EQ(FormatText("%x", {0}), "0");
  EXPECT_EQ(FormatText("%x", {-1}), "FFFFFFFF");
  EXPECT_EQ(FormatText("%p", {0x1234u}), "00001234");
  EXPECT_EQ(FormatText("100%%", {}), "100%");
}

TEST(FormatTest, PointersShowTheirFullWidth) {
  const Text formatted = FormatText("%p", {reinterpret_cast<const void*>(std::uintptr_t{0xAB})});
  EXPECT_EQ(formatted.size(), 2 * sizeof(void*));
  EXPECT_EQ(formatted.substr(formatted.size() - 4), "00AB");
}

TEST(FormatTest, TextsAreInsertedUnchanged) {
  const std::string with_zero("a\0b%d", 5);
  EXPECT_EQ(FormatText("[%s]", {with_zero}), "[" + with_zero + "]");
  EXPECT_EQ(FormatText("%s-%s", {"x", ""}), "x-");
}

TEST(FormatTest, MissingOrMismatchedArgumentsAreLeftOut) {
  EXPECT_EQ(FormatText("a%db", {}), "ab");
  EXPECT_EQ(FormatText("a%sb", {5}), "ab");
  EXPECT_EQ(FormatText("50%", {}), "50%");
  EXPECT_EQ(FormatText("%q", {}), "%q");
}

}  // namespace
