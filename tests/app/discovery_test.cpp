// The program's discovery walked in this process over a LAN of the test's
// own, so that what it leaves behind can be counted: every enumeration it
// opens is closed, at every depth of the walk, also where a level fails
// part-way.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/inventory.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/network/network_control.h"
#include "tests/support/network_records.h"

namespace {

using lan::NetworkRecord;
using testing_support::Container;

std::vector<NetworkRecord> Servers(const std::vector<std::string>& names) {
  std::vector<NetworkRecord> servers;
  for (const std::string& name : names) servers.push_back(testing_support::Server(name));
  return servers;
}

std::vector<std::string> Names(const TStringList& computers) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < computers.Count(); ++i) names.push_back(computers.Get(i));
  return names;
}

TEST(DiscoveryTest, ClosesEveryEnumerationItOpensAtEveryDepthAlsoWhereALevelFails) {
  // A network with a nested domain, a domain that fails after its first
  // batch, one that cannot be opened, and servers (containers too, which
  // the walk opens) at every depth.
  NetworkRecord failing = Container("FLAKY", RESOURCEDISPLAYTYPE_DOMAIN, Servers({"F1", "F2", "F3"}));
  failing.MaxRecordsPerBatch = 2;
  failing.EnumError = ERROR_NO_NETWORK;
  failing.EnumErrorAfterBatches = 1;
  NetworkRecord closed = Container("CLOSED", RESOURCEDISPLAYTYPE_DOMAIN, Servers({"HIDDEN"}));
  closed.OpenError = ERROR_ACCESS_DENIED;
  NetworkRecord inner = Container("INNER", RESOURCEDISPLAYTYPE_DOMAIN, Servers({"DEEP"}));
  std::vector<NetworkRecord> outer_children = Servers({"A1"});
  outer_children.push_back(inner);
  outer_children.push_back(testing_support::Server("A2"));
  lan::Lan lan;
  lan.Top.Children = {Container("Net", RESOURCEDISPLAYTYPE_NETWORK,
                                {Container("OUTER", RESOURCEDISPLAYTYPE_DOMAIN, outer_children), failing, closed})};
  std::ostringstream diagnostics;
  standin::UseLanForTesting(std::move(lan), diagnostics);

  TStringList computers;
  CollectLanComputers(computers);
  EXPECT_EQ(Names(computers), (std::vector<std::string>{"A1", "DEEP", "A2", "F1", "F2"}));
  EXPECT_EQ(standin::OpenEnumerationCount(), 0u) << "enumerations left open";
  standin::UseEmptyLanForTesting();
}

}  // namespace
