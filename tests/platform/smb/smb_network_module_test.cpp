// The value of KESTROVA_LAN that selects the SMB network, and so loads its
// module.
#include "platform/smb/smb_network_module.h"

#include <gtest/gtest.h>

namespace smb {
namespace {

TEST(SmbSelection, SmbSlashSlashNamesTheNetworkOrOneWorkgroupOfIt) {
  for (const char* yes : {"smb://", "SMB://", "smb://OFFICE", "Smb://a/b"}) EXPECT_TRUE(NamesSmbNetwork(yes)) << yes;
  for (const char* no : {"", "smb:", "smb:/", "/srv/lan", "smbx://", "./smb://"})
    EXPECT_FALSE(NamesSmbNetwork(no)) << no;
}

}  // namespace
}  // namespace smb
