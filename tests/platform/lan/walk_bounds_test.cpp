#include "platform/lan/walk_bounds.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/standin/lan/lan_control.h"
#include "platform/standin/network/network_control.h"

namespace {

using lan::NetworkRecord;

NetworkRecord Container(const std::string& name, std::vector<NetworkRecord> children = {}) {
  NetworkRecord record;
  record.DisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
  record.Usage = RESOURCEUSAGE_CONTAINER;
  record.RemoteName = name;
  record.Provider = "Microsoft Windows Network";
  record.Children = std::move(children);
  record.Origin = "lan.json:" + name;
  return record;
}

NetworkRecord Top(std::vector<NetworkRecord> children) {
  NetworkRecord top;
  top.Children = std::move(children);
  return top;
}

// What the program's walk does with the network: how many records it
// visits and how deep it opens containers. Gives up past the bounds, so
// that a network that escaped them fails the test instead of hanging it.
struct WalkFacts {
  std::uint64_t Records = 0;
  int Depth = 0;
  bool GaveUp = false;
};

void Walk(NETRESOURCEA* parent, int depth, WalkFacts& facts) {
  if (facts.GaveUp) return;
  if (depth > lan::kMaxWalkDepth + 1 || facts.Records > lan::kMaxWalkRecords) {
    facts.GaveUp = true;
    return;
  }
  HANDLE handle = nullptr;
  if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, parent, &handle) != NO_ERROR) return;
  facts.Depth = std::max(facts.Depth, depth);
  std::vector<NETRESOURCEA> buffer(342);
  DWORD count = 0xFFFFFFFF;
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(NETRESOURCEA));
  while (WNetEnumResourceA(handle, &count, buffer.data(), &size) == NO_ERROR) {
    for (DWORD i = 0; i < count; ++i) {
      ++facts.Records;
      if (buffer[i].dwUsage & RESOURCEUSAGE_CONTAINER) Walk(&buffer[i], depth + 1, facts);
    }
  }
  WNetCloseEnum(handle);
}

struct Bounded {
  bool Kept;
  std::string Messages;
  WalkFacts Walked;
};

Bounded Bound(NetworkRecord top) {
  std::ostringstream messages;
  Bounded result;
  result.Kept = lan::KeepWalkBounded(top, messages);
  result.Messages = messages.str();
  lan::Lan lan;
  lan.Top = std::move(top);
  standin::UseLanForTesting(std::move(lan), messages);
  Walk(nullptr, 0, result.Walked);
  standin::UseEmptyLanForTesting();
  return result;
}

TEST(WalkBoundsTest, RecordThatReopensAnEnclosingContainerIsLeftOut) {
  struct Case {
    const char* what;
    NetworkRecord top;
    std::string message;
    std::uint64_t records;
  };
  const std::string left_out =
      " opens a container that encloses it, so the walk would never end; the record is left out\n";
  const Case cases[] = {
      {"itself", Top({Container("W", {Container("w"), Container("PC")})}),
       "kestrova: lan.json:w: enumerating \"w\"" + left_out, 2},
      {"deeper down", Top({Container("A", {Container("B", {Container("C", {Container("a")})})})}),
       "kestrova: lan.json:a: enumerating \"a\"" + left_out, 3},
      // The first container of a name answers for it: both X open the
      // empty X inside A, so the A inside the outer X is never reached.
      {"no loop", Top({Container("A", {Container("X")}), Container("X", {Container("A")})}), "", 3},
  };
  for (const Case& c : cases) {
    const Bounded bounded = Bound(c.top);
    EXPECT_TRUE(bounded.Kept) << c.what;
    EXPECT_EQ(bounded.Messages, c.message) << c.what;
    EXPECT_FALSE(bounded.Walked.GaveUp) << c.what;
    EXPECT_EQ(bounded.Walked.Records, c.records) << c.what;
  }
}

TEST(WalkBoundsTest, ServerInTwoWorkgroupsIsNoLoop) {
  NetworkRecord server = Container("\\\\SHARED", {Container("\\\\SHARED\\Sub")});
  const Bounded bounded = Bound(Top({Container("EAST", {server}), Container("WEST", {server})}));
  EXPECT_TRUE(bounded.Kept);
  EXPECT_EQ(bounded.Messages, "");
  EXPECT_EQ(bounded.Walked.Records, 2u + 2u * 2u);
}

TEST(WalkBoundsTest, WalkDeeperThanTheLimitIsCut) {
  // Each top-level container holds a record that opens the next one,
  // which stands before it so that it answers for the name.
  std::vector<NetworkRecord> chain;
  for (int i = 39; i >= 0; --i) {
    chain.push_back(Container("C" + std::to_string(i), {Container("C" + std::to_string(i + 1))}));
  }
  const Bounded bounded = Bound(Top(chain));
  EXPECT_TRUE(bounded.Kept);
  EXPECT_NE(bounded.Messages.find("deeper than 32 levels; the record is left out"), std::string::npos)
      << bounded.Messages;
  EXPECT_FALSE(bounded.Walked.GaveUp);
  EXPECT_LE(bounded.Walked.Depth, lan::kMaxWalkDepth);
}

TEST(WalkBoundsTest, WalkThatVisitsTooManyRecordsIsRefused) {
  // Level i holds two records that both open level i + 1: the walk
  // doubles with every level.
  std::vector<NetworkRecord> levels{Container("L24")};
  for (int i = 23; i >= 0; --i) {
    const std::string next = "L" + std::to_string(i + 1);
    levels.push_back(Container("L" + std::to_string(i), {Container(next), Container(next)}));
  }
  NetworkRecord top = Top(levels);
  std::ostringstream messages;
  EXPECT_FALSE(lan::KeepWalkBounded(top, messages));
  EXPECT_EQ(messages.str(), "");
}

}  // namespace
