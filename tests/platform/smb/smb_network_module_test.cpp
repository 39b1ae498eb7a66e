// The value of KESTROVA_LAN that selects the SMB network, and so loads its
// module.
#include "platform/smb/smb_network_module.h"

#include <gtest/gtest.h>

namespace smb {
namespace {

TEST(SmbSelection, OnlySmbSlashSlashNamesTheNetwork) {
  for (const char* yes : {"smb://", "SMB://"}) EXPECT_TRUE(NamesSmbNetwork(yes)) << yes;
  for (const char* no : {"", "smb:", "smb:/", "smb://OFFICE", "/srv/lan", "smbx://"})
    EXPECT_FALSE(NamesSmbNetwork(no)) << no;
}

}  // namespace
}  // namespace smb
