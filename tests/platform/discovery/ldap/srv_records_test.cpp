#include "platform/discovery/ldap/srv_records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace discovery::ldap {
namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& out, unsigned value) {
  out.push_back(static_cast<unsigned char>(value >> 8));
  out.push_back(static_cast<unsigned char>(value & 0xFF));
}

// A name in DNS wire format, uncompressed.
Bytes Name(const std::string& dotted) {
  Bytes out;
  std::size_t start = 0;
  while (start < dotted.size()) {
    const std::size_t end = std::min(dotted.find('.', start), dotted.size());
    out.push_back(static_cast<unsigned char>(end - start));
    out.insert(out.end(), dotted.begin() + static_cast<std::ptrdiff_t>(start),
               dotted.begin() + static_cast<std::ptrdiff_t>(end));
    start = end + 1;
  }
  out.push_back(0);
  return out;
}

// The question's name starts right after the 12-byte header: a pointer
// to it is 0xC00C, to its second label (kestrova.test) 0xC00C + 6.
constexpr char kQuestion[] = "_ldap._tcp.dc._msdcs.kestrova.test";

struct Record {
  unsigned type = 33;
  Bytes data;
};

Bytes SrvData(unsigned priority, unsigned weight, unsigned port, const Bytes& target) {
  Bytes data;
  Put16(data, priority);
  Put16(data, weight);
  Put16(data, port);
  data.insert(data.end(), target.begin(), target.end());
  return data;
}

// A response to the SRV question with `records` as its answers; the
// header claims `claimed` answers (the count of records where negative).
Bytes Answer(const std::vector<Record>& records, int claimed = -1) {
  Bytes out = {0x12, 0x34, 0x81, 0x80, 0, 1};
  Put16(out, claimed < 0 ? static_cast<unsigned>(records.size()) : static_cast<unsigned>(claimed));
  Put16(out, 0);
  Put16(out, 0);
  const Bytes question = Name(kQuestion);
  out.insert(out.end(), question.begin(), question.end());
  Put16(out, 33);
  Put16(out, 1);
  for (const Record& record : records) {
    Put16(out, 0xC00C);
    Put16(out, record.type);
    Put16(out, 1);
    Put16(out, 0);
    Put16(out, 600);
    Put16(out, static_cast<unsigned>(record.data.size()));
    out.insert(out.end(), record.data.begin(), record.data.end());
  }
  return out;
}

std::string Hosts(const std::vector<ServiceTarget>& targets) {
  std::string hosts;
  for (const ServiceTarget& target : targets) {
    hosts += (hosts.empty() ? "" : " ") + target.Host + ":" + std::to_string(target.Port) + "/" +
             std::to_string(target.Priority) + "/" + std::to_string(target.Weight);
  }
  return hosts;
}

TEST(SrvAnswer, TakesTheSrvRecordsAndRefusesMessagesThatDoNotHoldTogether) {
  Bytes compressed = {3, 'd', 'c', '2', 0xC0, 12 + 21};  // dc2 + "kestrova.test" of the question
  Bytes beyond = {0xC0, 0xFF};                           // a pointer past the end
  Bytes loop = SrvData(0, 0, 389, {});
  Put16(loop, 0xC000 | (12 + 36 + 4 + 12 + 6));  // points at itself
  Bytes long_target = SrvData(0, 0, 389, Name("dc1.kestrova.test"));
  struct Case {
    const char* what;
    Bytes message;
    const char* hosts;  // null: refused
  };
  const Case cases[] = {
      {"two records, in the order received",
       Answer({{33, SrvData(10, 50, 389, Name("dc1.kestrova.test"))},
               {33, SrvData(0, 0, 3268, Name("dc2.kestrova.test."))}}),
       "dc1.kestrova.test:389/10/50 dc2.kestrova.test:3268/0/0"},
      {"a compressed target", Answer({{33, SrvData(0, 100, 389, compressed)}}), "dc2.kestrova.test:389/0/100"},
      {"the root as target, port 0, a target that is no DNS name, another type: skipped",
       Answer({{33, SrvData(0, 0, 389, {0})},
               {33, SrvData(0, 0, 0, Name("dc1.kestrova.test"))},
               {33, SrvData(0, 0, 389, Name("dc 1.kestrova.test"))},
               {1, {10, 0, 0, 5}},
               {33, SrvData(0, 0, 636, Name("dc3.kestrova.test"))}}),
       "dc3.kestrova.test:636/0/0"},
      {"no answers", Answer({}), ""},
      {"more answers claimed than the message holds", Answer({{33, SrvData(0, 0, 389, Name("a.b"))}}, 3), nullptr},
      {"SRV data too short", Answer({{33, {0, 1, 0, 2, 1}}}), nullptr},
      {"a target pointing past the message", Answer({{33, SrvData(0, 0, 389, beyond)}}), nullptr},
      {"a target pointing at itself", Answer({{33, loop}}), nullptr},
      {"a target running past its record into the next",
       Answer({{33, Bytes(long_target.begin(), long_target.end() - 4)}, {33, long_target}}), nullptr},
      {"a message cut inside its header", Bytes{0x12, 0x34, 0x81}, nullptr},
  };
  for (const Case& c : cases) {
    std::vector<ServiceTarget> targets;
    std::string fault;
    const bool parsed = ParseSrvAnswer(c.message, targets, fault);
    if (c.hosts == nullptr) {
      EXPECT_FALSE(parsed) << c.what << ": " << Hosts(targets);
      EXPECT_FALSE(fault.empty()) << c.what;
    } else {
      ASSERT_TRUE(parsed) << c.what << ": " << fault;
      EXPECT_EQ(Hosts(targets), c.hosts) << c.what;
    }
  }
}

TEST(SrvAnswer, TakesAtMostTheBoundOfRecords) {
  std::vector<Record> records(kMaxServiceTargets + 10, Record{33, SrvData(0, 0, 389, Name("dc.kestrova.test"))});
  std::vector<ServiceTarget> targets;
  std::string fault;
  ASSERT_TRUE(ParseSrvAnswer(Answer(records), targets, fault)) << fault;
  EXPECT_EQ(targets.size(), kMaxServiceTargets);
}

TEST(SrvOrder, FollowsPrioritiesThenTheWeightedDraw) {
  const auto lowest = [](std::uint32_t) -> std::uint32_t { return 0; };
  const auto highest = [](std::uint32_t most) { return most; };
  const auto middle = [](std::uint32_t most) { return most / 2; };
  struct Case {
    const char* what;
    std::vector<ServiceTarget> targets;
    RandomDraw draw;
    const char* order;
  };
  const std::vector<ServiceTarget> weighted = {{"w10", 389, 0, 10}, {"w0", 389, 0, 0}, {"w20", 389, 0, 20}};
  const Case cases[] = {
      {"priorities, lowest first, received order kept among equals",
       {{"p10", 389, 10, 0}, {"p0a", 389, 0, 0}, {"p5", 389, 5, 0}, {"p0b", 389, 0, 0}},
       lowest,
       "p0a p0b p5 p10"},
      // The weight-0 record goes first, so a draw of 0 picks it.
      {"the lowest draw", weighted, lowest, "w0 w10 w20"},
      {"the highest draw", weighted, highest, "w20 w10 w0"},
      // Sum 30, drawn 15: running sums 0, 10, 30 pick w20; then sum 10,
      // drawn 5: w10.
      {"a middle draw", weighted, middle, "w20 w10 w0"},
      {"a draw beyond the sum is taken as the sum",
       {{"a", 1, 0, 1}, {"b", 1, 0, 1}},
       [](std::uint32_t most) { return most + 7; },
       "b a"},
      {"weights within each priority only", {{"late", 389, 1, 65535}, {"early", 389, 0, 1}}, highest, "early late"},
  };
  for (const Case& c : cases) {
    std::string order;
    for (const ServiceTarget& target : InOrderOfUse(c.targets, c.draw))
      order += (order.empty() ? "" : " ") + target.Host;
    EXPECT_EQ(order, c.order) << c.what;
  }
}

TEST(SrvOrder, WeightsHaveNoSumThatOverflows) {
  std::vector<ServiceTarget> many(kMaxServiceTargets, ServiceTarget{"h", 389, 0, 65535});
  EXPECT_EQ(InOrderOfUse(many, DrawAtRandom).size(), kMaxServiceTargets);
}

}  // namespace
}  // namespace discovery::ldap
