#include "platform/discovery/discovered_network.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace discovery
