#include "platform/smb/smb_settings.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>

namespace smb {
namespace {

TEST(Credentials, ParsesTheAuthenticationFileFormatAsSmbclientDoes) {
  struct Case {
    const char* text;
    const char* user;
    const char* password;
    const char* domain;
  };
  const Case cases[] = {
      // The value runs from its first non-blank character to the end of
      // the line, trailing blanks included.
      {"username = admin\npassword = s3 cret \ndomain = LAB\n", "admin", "s3 cret ", "LAB"},
      {"# comment = x\r\n ; other\r\n\r\n\t\nUserName=LAB\\ops\r\nPASSWORD=x=y\r\n", "ops", "x=y", "LAB"},
      {"username = LAB/ops\ndomain = HQ\npassword =\n", "ops", "", "HQ"},
  };
  for (const Case& c : cases) {
    Credentials parsed;
    std::string refusal;
    ASSERT_TRUE(ParseCredentials(c.text, parsed, refusal)) << c.text << ": " << refusal;
    EXPECT_EQ(parsed.Username, c.user) << c.text;
    EXPECT_EQ(parsed.Password, c.password) << c.text;
    EXPECT_EQ(parsed.Domain, c.domain) << c.text;
  }
}

TEST(Credentials, AnyLineThatIsNotAKnownKeyRefusesTheWholeFileByLineNumberAlone) {
  const std::string longest(kMaxCredentialBytes, 'p');
  struct Case {
    std::string text;
    const char* refusal;
  };
  const Case cases[] = {
      {"username = a\npassword secret=x\n", "line 2 has a key other than username, password and domain"},
      {"username = a\npassword = x\nsecretword\n", "line 3 is not of the form key = value"},
      {"user = a\npassword = x\n", "line 1 has a key other than username, password and domain"},
      {"username = a\npassword = se\x1b[2Jcret\n", "line 2 holds a control character"},
      {std::string("username = a\npassword = se\0cret\n", 31), "line 2 holds a control character"},
      {"username = a\npassword = " + longest + "p\n",
       "line 2 holds a password longer than 255 bytes, the most libsmbclient takes"},
      {"username = a\n", "it has no password line"},
      {"password = secret\n", "it names no user"},
      {"username = LAB\\\npassword = secret\n", "it names no user"},
  };
  for (const Case& c : cases) {
    Credentials parsed;
    std::string refusal;
    EXPECT_FALSE(ParseCredentials(c.text, parsed, refusal)) << c.text;
    EXPECT_EQ(refusal, c.refusal) << c.text;
  }
  Credentials parsed;
  std::string refusal;
  EXPECT_TRUE(ParseCredentials("username = a\npassword = " + longest + "\n", parsed, refusal)) << refusal;
  EXPECT_EQ(parsed.Password, longest);
}

TEST(Credentials, DestroyedCredentialsLeaveNoSecretBehind) {
  // Short strings live inside the object: what destruction leaves there
  // can be read back.
  alignas(Credentials) unsigned char storage[sizeof(Credentials)];
  auto* credentials = new (storage) Credentials;
  std::string refusal;
  ASSERT_TRUE(ParseCredentials("username = ops\npassword = hunter2\n", *credentials, refusal)) << refusal;
  credentials->~Credentials();
  const std::string_view left(reinterpret_cast<const char*>(storage), sizeof storage);
  EXPECT_EQ(left.find("hunter2"), std::string_view::npos);
  EXPECT_EQ(left.find("ops"), std::string_view::npos);

  std::string secret(100, 's');
  const char* heap = secret.data();
  WipeSecret(secret);
  EXPECT_TRUE(secret.empty());
  EXPECT_EQ(secret.data(), heap);
  EXPECT_TRUE(std::all_of(heap, heap + 100, [](char c) { return c == 0; }));
}

class CredentialsFile : public testing::Test {
 protected:
  void SetUp() override { std::filesystem::remove_all(path_); }
  void TearDown() override {
    std::filesystem::remove_all(path_);
    prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
  }
  void Write(const std::string& text, mode_t mode) {
    std::ofstream(path_) << text;
    ASSERT_EQ(chmod(path_.c_str(), mode), 0);
  }
  std::string Refusal() {
    std::ostringstream messages;
    EXPECT_EQ(ReadCredentialsFile(path_, messages), nullptr);
    return messages.str();
  }
  std::string Message(const std::string& reason) const {
    return "kestrova: " + path_.string() + ": the credentials file is refused: " + reason + "; no connection is made\n";
  }

  // A file of each test's own: ctest runs the tests of this fixture side by side.
  const std::filesystem::path path_ =
      testing::TempDir() + "kestrova-credentials-" + testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(CredentialsFile, IsReadOnceWithTheProcessMadeNonDumpable) {
  Write("username = admin\npassword = secret\n", 0600);
  std::ostringstream messages;
  const std::shared_ptr<const Credentials> read = ReadCredentialsFile(path_, messages);
  ASSERT_NE(read, nullptr) << messages.str();
  EXPECT_EQ(read->Password, "secret");
  EXPECT_EQ(messages.str(), "");
  EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
}

TEST_F(CredentialsFile, IsRefusedWithOneMessageThatNeverQuotesIt) {
  Write("username = admin\npassword secret=x\n", 0600);
  EXPECT_EQ(Refusal(), Message("line 2 has a key other than username, password and domain"));
  Write("username = admin\npassword = secret\n", 0640);
  EXPECT_EQ(Refusal(),
            Message("its group or others may access it (mode 0640); make it private: chmod 600 " + path_.string()));
  std::filesystem::remove(path_);
  EXPECT_EQ(Refusal(), Message("it cannot be opened (No such file or directory)"));
}

TEST_F(CredentialsFile, WhatIsNoSmallRegularFileIsRefusedWithoutWaitingOrReadingWithoutEnd) {
  // A FIFO would block an open without O_NONBLOCK; /proc/self/pagemap is a
  // regular file of size 0 that can be read for gigabytes.
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_EQ(Refusal(), Message("it is not a regular file"));
  std::filesystem::remove(path_);
  std::filesystem::create_symlink("/proc/self/pagemap", path_);
  EXPECT_EQ(Refusal(), Message("it is larger than 64 KiB"));
  std::filesystem::remove(path_);
  Write(std::string(kMaxCredentialsFileBytes + 1, '#'), 0600);
  EXPECT_EQ(Refusal(), Message("it is larger than 64 KiB"));
  if (geteuid() == 0) {
    // Another user's file, however private, may hold what that user chose.
    Write("username = admin\npassword = secret\n", 0600);
    ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0);
    EXPECT_EQ(Refusal(), Message("it belongs to user 65534, neither to user 0, who runs the program, nor to root"));
  }
}

TEST_F(CredentialsFile, ARefusedFileLeavesSettingsThatRefuseEveryConnection) {
  Write("username = admin\npasword = secret\n", 0600);
  ASSERT_EQ(setenv(kCredentialsVariable, path_.c_str(), 1), 0);
  std::ostringstream messages;
  const SmbSettings settings = SettingsFromEnvironment(messages);
  unsetenv(kCredentialsVariable);
  EXPECT_TRUE(settings.CredentialsRefused);
  EXPECT_EQ(settings.Logon, nullptr);
  EXPECT_EQ(messages.str(), Message("line 2 has a key other than username, password and domain"));
}

TEST(Timeout, SecondsBecomeMillisecondsAndNonsenseIsRefused) {
  EXPECT_EQ(ParseTimeout("5"), 5000);
  EXPECT_EQ(ParseTimeout(" 0.25 "), 250);
  EXPECT_EQ(ParseTimeout("0.0001"), 1);
  for (const char* bad : {"", "0", "-1", "5s", "nan", "inf", "1e9"}) EXPECT_FALSE(ParseTimeout(bad)) << bad;
  EXPECT_EQ(ParseDebugLevel("0"), 0);
  EXPECT_EQ(ParseDebugLevel(" 10 "), 10);
  for (const char* bad : {"", "-1", "11", "3x", "1.5"}) EXPECT_FALSE(ParseDebugLevel(bad)) << bad;
  EXPECT_EQ(ParseParallelComputers(" 1 "), 1);
  EXPECT_EQ(ParseParallelComputers("32"), 32);
  for (const char* bad : {"", "0", "33", "-2", "4x"}) EXPECT_FALSE(ParseParallelComputers(bad)) << bad;
}

TEST(Parallel, AWrongCountIsReportedWithItsDefault) {
  setenv(kParallelVariable, "many", 1);
  std::ostringstream messages;
  const SmbSettings settings = SettingsFromEnvironment(messages);
  unsetenv(kParallelVariable);
  EXPECT_EQ(settings.ParallelComputers, kDefaultParallelComputers);
  EXPECT_EQ(messages.str(),
            "kestrova: KESTROVA_SMB_PARALLEL=\"many\" is not a whole number from 1 to 32; the default of " +
                std::to_string(kDefaultParallelComputers) + " applies\n");
}

}  // namespace
}  // namespace smb
