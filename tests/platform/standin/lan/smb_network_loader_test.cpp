#include "platform/standin/lan/smb_network_loader.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// The SMB network lives in a module of its own, loaded only when selected;
// a module that cannot be found or loaded is said once, with the reason.
TEST(SmbNetworkLoaderTest, LoadsWithEverySymbolResolved) {
  std::ostringstream messages;
  EXPECT_NE(standin::LoadSmbNetwork(messages, lan::NoProgressReport()), nullptr);
  EXPECT_EQ(messages.str(), "");
}

}  // namespace
