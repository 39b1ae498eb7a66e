#include "platform/smb/smb_url.h"

#include <gtest/gtest.h>

namespace smb {
namespace {

TEST(SmbUrl, UrlPartsKeepOnlyUnreservedCharacters) {
  EXPECT_EQ(UrlEncoded("LAB-01.x_y~"), "LAB-01.x_y~");
  EXPECT_EQ(UrlEncoded("a b/c%\xc3\xa9"), "a%20b%2Fc%25%C3%A9");
  // An IPv6 address as libsmbclient takes it: a colon would start a port,
  // brackets are refused, and the zone's % is written %25.
  EXPECT_EQ(UrlEncoded("fe80::1%eth0"), "fe80%3A%3A1%25eth0");
}

}  // namespace
}  // namespace smb
