#include "runtime/string_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StringListTest, KeepsOrderDuplicatesAndEmptyEntries) {
  TStringList list;
  for (const char* name : {"PC02", "PC01", "", "PC02"}) list.Add(name);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Get(0), "PC02");
  EXPECT_EQ(list.Get(1), "PC01");
  EXPECT_EQ(list.Get(2), "");
  EXPECT_EQ(list.Get(3), "PC02");
}

TEST(StringListTest, IndexOutsideTheEntriesRaisesWithTheIndex) {
  TStringList list;
  list.Add("only");
  for (std::int32_t index : {-1, 1, 2, INT32_MIN}) {
    try {
      list.Get(index);
      FAIL() << "no error for " << index;
    } catch (const EStringListError& error) {
      EXPECT_EQ(error.MessageText, FormatText("List index out of bounds (%d)", {index}));
      EXPECT_STREQ(error.ClassName(), "EStringListError");
      EXPECT_NE(error.RaiseAddress, nullptr);
    }
  }
}

// The entries move when the list's room grows, and only then: the counts
// at which they move are the sizes of its room, grown by 4, by 16, then
// by a quarter.
TEST(StringListTest, RoomGrowsByFourThenSixteenThenAQuarter) {
  TStringList list;
  list.Add("x");
  std::vector<std::int32_t> moved_at;
  for (int i = 1; i < 200; ++i) {
    const Text* first = &list.Get(0);
    list.Add("x");
    if (&list.Get(0) != first) moved_at.push_back(list.Count() - 1);
  }
  const std::vector<std::int32_t> expected = {4, 8, 12, 28, 44, 60, 76, 95, 118, 147, 183};
  EXPECT_EQ(moved_at, expected);
}

TEST(StringListTest, ClearRemovesEveryEntry) {
  TStringList list;
  list.Add("a");
  list.Add("b");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(list.Get(0), EStringListError);
  list.Add("c");
  EXPECT_EQ(list.Get(0), "c");
}

}  // namespace
