#include "platform/smb/smb_settings.h"

#include "platform/smb/smb_network_module.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace smb {
namespace {

TEST(Credentials, ParsesTheAuthenticationFileFormat) {
  struct Case {
    const char* text;
    const char* user;
    const char* password;
    const char* domain;
    const char* messages;
  };
  const Case cases[] = {
      {"username = admin\npassword = s3 cret \ndomain = LAB\n", "admin", "s3 cret", "LAB", ""},
      {"# comment\r\n; other\r\n\r\nusername=LAB\\ops\r\npassword=x=y\r\n", "ops", "x=y", "LAB", ""},
      {"username = LAB/ops\ndomain = HQ\n", "ops", "", "HQ", ""},
      {"user = admin\ngarbage\nusername = a\n", "a", "", "",
       "kestrova: f:1: unknown key \"user\" (expected username, password or domain)\n"
       "kestrova: f:2: not a line of the form key = value\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream messages;
    const Credentials parsed = ParseCredentials(c.text, "f", messages);
    EXPECT_EQ(parsed.Username, c.user) << c.text;
    EXPECT_EQ(parsed.Password, c.password) << c.text;
    EXPECT_EQ(parsed.Domain, c.domain) << c.text;
    EXPECT_EQ(messages.str(), c.messages) << c.text;
  }
}

TEST(Credentials, AFileOthersCanReadIsRefused) {
  const std::filesystem::path path = testing::TempDir() + "kestrova-credentials";
  std::ofstream(path) << "username = admin\npassword = secret\n";
  std::ostringstream messages;
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  EXPECT_FALSE(ReadCredentialsFile(path, messages));
  EXPECT_NE(messages.str().find("accessible by others (mode 0640)"), std::string::npos) << messages.str();
  EXPECT_EQ(messages.str().find("secret"), std::string::npos);

  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  const std::optional<Credentials> read = ReadCredentialsFile(path, messages);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Password, "secret");
  std::filesystem::remove(path);

  messages.str("");
  EXPECT_FALSE(ReadCredentialsFile(path, messages));
  EXPECT_NE(messages.str().find("cannot be read"), std::string::npos);
}

TEST(Timeout, SecondsBecomeMillisecondsAndNonsenseIsRefused) {
  EXPECT_EQ(ParseTimeout("5"), 5000);
  EXPECT_EQ(ParseTimeout(" 0.25 "), 250);
  EXPECT_EQ(ParseTimeout("0.0001"), 1);
  for (const char* bad : {"", "0", "-1", "5s", "nan", "inf", "1e9"}) EXPECT_FALSE(ParseTimeout(bad)) << bad;
}

TEST(SmbSelection, OnlySmbSlashSlashNamesTheNetwork) {
  for (const char* yes : {"smb://", "SMB://"}) EXPECT_TRUE(NamesSmbNetwork(yes)) << yes;
  for (const char* no : {"", "smb:", "smb:/", "smb://OFFICE", "/srv/lan", "smbx://"})
    EXPECT_FALSE(NamesSmbNetwork(no)) << no;
}

}  // namespace
}  // namespace smb
