#include "platform/smb/smb_url.h"

#include <gtest/gtest.h>

namespace smb {
namespace {

TEST(SmbUrl, UrlPartsKeepOnlyUnreservedCharacters) {
  EXPECT_EQ(UrlEncoded("LAB-01.x_y~"), "LAB-01.x_y~");
  EXPECT_EQ(UrlEncoded("a b/c%\xc3\xa9"), "a%20b%2Fc%25%C3%A9");
}

}  // namespace
}  // namespace smb
