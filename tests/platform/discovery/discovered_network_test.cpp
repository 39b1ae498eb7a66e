#include "platform/discovery/discovered_network.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sstream>

namespace discovery {
namespace {

TEST(DiscoveredNetwork, WhatBreaksASourcesPromiseIsLeftOutOrMended) {
  const std::string longest(kMaxNameBytes, 'n');
  const std::vector<Findings> findings = {
      {{{"LAB", "EVIL\x1b[2J", "", ""},
        {"LAB\x07", "ATLAS", "", ""},
        {"LAB", longest + "n", "", ""},
        {"LAB", "", "", ""},
        {"LAB", "caf\xc3", "10.0.0.1/IPC$", std::string(kMaxCommentBytes + 1, 'c')},
        {"LAB", longest, "fe80::1%eth0", "ok"},
        {"LAB", "C1\xc2\x85", "", ""}},
       false},
  };
  std::ostringstream diagnostics;
  const DiscoveredNetwork network(findings, {}, diagnostics);
  ASSERT_EQ(network.Containers().size(), 1u);
  const std::vector<DiscoveredComputer>& computers = network.Containers()[0].Computers;
  ASSERT_EQ(computers.size(), 2u);
  // Bytes that are no UTF-8 become U+FFFD; an address that could name a
  // path is dropped, as is a comment longer than Windows keeps.
  EXPECT_EQ(computers[0].Name, "caf\xef\xbf\xbd");
  EXPECT_EQ(computers[0].Address, "");
  EXPECT_EQ(computers[0].Comment, "");
  EXPECT_EQ(computers[1].Name, longest);
  EXPECT_EQ(network.AddressOf("N" + longest.substr(1)), "fe80::1%eth0");
  EXPECT_EQ(network.AddressOf("ATLAS"), "");
  EXPECT_EQ(diagnostics.str(), "");
}

std::string Rendered(const DiscoveredNetwork& network) {
  std::string out;
  for (const DiscoveredContainer& container : network.Containers()) {
    out += container.Name + ":";
    for (const DiscoveredComputer& computer : container.Computers) out += " " + computer.Name + "@" + computer.Address;
    out += "\n";
  }
  return out;
}

TEST(DiscoveredNetwork, TheSameFindingsInAnyOrderGiveTheSameHierarchy) {
  // The browse list keeps its order; the other two sources' replies may
  // come in any order, with names spelt in several cases and a computer
  // that one source places in two containers at two addresses.
  const std::vector<FoundComputer> browse = {{"LAB", "ZED", "", ""}, {"LAB", "atlas", "", ""}, {"OFFICE", "X", "", ""}};
  std::vector<FoundComputer> wsd = {{"office", "Atlas", "10.0.0.1", ""}, {"HOME", "cassini", "10.0.0.3", ""},
                                    {"Office", "Bart", "10.0.0.2", ""},  {"home", "Dorado", "10.0.0.5", ""},
                                    {"Home", "dorado", "10.0.0.4", ""},  {"OFFICE", "ATLAS", "10.0.0.9", ""}};
  std::vector<FoundComputer> hosts = {
      {"WORKGROUP", "zeta", "", ""}, {"WORKGROUP", "BART", "", ""}, {"WORKGROUP", "Alpha", "", ""}};
  const std::string expected =
      "LAB: ZED@ atlas@10.0.0.9\n"
      "OFFICE: X@ Bart@10.0.0.2\n"
      "HOME: cassini@10.0.0.3 dorado@10.0.0.4\n"
      "WORKGROUP: Alpha@ zeta@\n";
  std::vector<std::size_t> order(wsd.size());
  std::iota(order.begin(), order.end(), 0);
  int permutations = 0;
  do {
    std::vector<FoundComputer> arrived;
    for (const std::size_t i : order) arrived.push_back(wsd[i]);
    std::vector<FoundComputer> hosts_arrived = hosts;
    std::rotate(hosts_arrived.begin(), hosts_arrived.begin() + permutations % 3, hosts_arrived.end());
    const std::vector<Findings> findings = {{browse, true}, {arrived, false}, {hosts_arrived, false}};
    std::ostringstream diagnostics;
    ASSERT_EQ(Rendered(DiscoveredNetwork(findings, {}, diagnostics)), expected) << "permutation " << permutations;
    ++permutations;
  } while (std::next_permutation(order.begin(), order.end()));
}

}  // namespace
}  // namespace discovery
