// The registry accessor where only the stand-in can take it: other
// computers of a LAN with their faults, and the locale facts behind the
// double-byte rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/owned_key.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/locale/locale_control.h"
#include "platform/standin/registry/registry_control.h"
#include "registry/registry.h"
#include "registry/startup_facts.h"
#include "tests/support/registry_backend.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::vector<std::string> Entries(const TStringList& list) {
  std::vector<std::string> entries;
  for (std::int32_t i = 0; i < list.Count(); ++i) entries.push_back(list.Get(i));
  return entries;
}

class RegistryAccessorStandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::ResetRegistryForTesting();
    standin::SetLocaleFactsForTesting({});
    EstablishStartupFacts();
    file_ =
        fs::temp_directory_path() /
        ("kestrova-accessor-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".reg");
    std::ofstream(file_, std::ios::binary) << Regedit4(
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{B-2}]\r\n"
        "\"DisplayName\"=\"Second App\"\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\a-1]\r\n"
        "\"DisplayName\"=\"First App\"\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Locked]\r\n"
        "\"DisplayName\"=\"Hidden\"\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Unreadable]\r\n"
        "\"DisplayName\"=\"Cannot be fetched\"\r\n");

    lan::Lan lan;
    lan.Computers.push_back(Computer("PC01"));
    lan.Computers.back().DeniedKeys = {std::string(kUninstall) + "\\Locked"};
    lan.Computers.back().FailingValues = {
        {std::string(kUninstall) + "\\Unreadable", "DisplayName", ERROR_ACCESS_DENIED}};
    lan.Computers.push_back(Computer("PC02"));
    lan.Computers.back().DeniedKeys = {kUninstall};
    lan.Computers.push_back(Computer("PC03"));
    lan.Computers.back().ConnectError = ERROR_ACCESS_DENIED;
    standin::UseLanForTesting(std::move(lan), diagnostics_);
  }

  void TearDown() override {
    EXPECT_EQ(standin::OpenRegistryHandleCount(), 0) << "a registry handle was left open";
    EXPECT_EQ(standin::OpenLanConnectionCount(), 0);
    standin::ResetRegistryForTesting();
    standin::UseEmptyLanForTesting();
    standin::SetLocaleFactsForTesting({});
    EstablishStartupFacts();
    fs::remove(file_);
  }

  lan::Computer Computer(const char* name) const {
    lan::Computer computer;
    computer.Name = name;
    computer.RegistryFile = file_;
    return computer;
  }

  fs::path file_;
  std::ostringstream diagnostics_;  // of the LAN in use
};

TEST_F(RegistryAccessorStandinTest, ListsAComputersApplicationsAsTheListingDoes) {
  TRegistry registry;
  registry.SelectRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.ConnectMachine("\\\\PC01"));
  ASSERT_TRUE(registry.EnterKey(kUninstall, false));
  TStringList subkeys;
  registry.ListSubkeys(subkeys);
  registry.LeaveKey();
  EXPECT_EQ(Entries(subkeys), (std::vector<std::string>{"a-1", "Locked", "Unreadable", "{B-2}"}));

  std::vector<std::string> names;
  for (std::int32_t i = 0; i < subkeys.Count(); ++i) {
    registry.EnterKey(JoinTexts(JoinTexts(kUninstall, "\\"), subkeys.Get(i)), false);
    if (registry.HasValue("DisplayName")) {
      try {
        names.push_back(registry.ReadText("DisplayName"));
      } catch (const ERegistryException& error) {
        names.push_back("raised: " + error.MessageText);
      }
    }
    registry.LeaveKey();
  }
  // The denied key cannot be opened with every right, so it is skipped.
  EXPECT_EQ(names,
            (std::vector<std::string>{"First App", "raised: Failed to get data for 'DisplayName'", "Second App"}));
}

TEST_F(RegistryAccessorStandinTest, AFailedConnectionChangesNothing) {
  OwnedKey local;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Local", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, local.Out(), nullptr),
            ERROR_SUCCESS);
  local.Reset();

  for (const char* machine : {"\\\\NOWHERE", "\\\\PC03", "PC99"}) {
    SCOPED_TRACE(machine);
    TRegistry registry;
    registry.SelectRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.EnterKey("Local", false));
    EXPECT_FALSE(registry.ConnectMachine(machine));
    EXPECT_EQ(registry.RootHandle(), HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(registry.OwnsRoot());
    EXPECT_EQ(registry.OpenPath(), "Local");
    EXPECT_NE(registry.OpenHandle(), nullptr);
  }
}

TEST_F(RegistryAccessorStandinTest, AKeyThatRefusesFullAccessCannotBeEntered) {
  TRegistry registry;
  registry.SelectRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.ConnectMachine("\\\\PC02"));
  EXPECT_FALSE(registry.EnterKey(kUninstall, false));
  EXPECT_EQ(registry.OpenHandle(), nullptr);
  TStringList subkeys;
  registry.ListSubkeys(subkeys);
  EXPECT_EQ(subkeys.Count(), 0);
}

TEST_F(RegistryAccessorStandinTest, TheDoubleByteRuleDoublesNameLengths) {
  OwnedKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Measured\\Seven77", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(),
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Measured", 0, KEY_ALL_ACCESS, key.Out()), ERROR_SUCCESS);
  const BYTE data[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(RegSetValueExA(key.Get(), "abc", 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);
  key.Reset();

  struct Case {
    const char* title;
    standin::LocaleFacts facts;
    DWORD platform;
    bool double_byte;
  };
  const Case cases[] = {
      {"English", {.ThreadLocale = 0x0409}, 2, false},
      {"Japanese: code page 932 has lead bytes", {.ThreadLocale = 0x0411}, 2, true},
      {"Korean", {.ThreadLocale = 0x0412}, 2, true},
      {"simplified Chinese", {.ThreadLocale = 0x0804}, 2, true},
      {"Russian: code page 1251 has none", {.ThreadLocale = 0x0419}, 2, false},
      {"German is never double-byte", {.ThreadLocale = 0x0407, .DefaultAnsiCodePage = "932"}, 2, false},
      {"the locale's code page counts", {.ThreadLocale = 0x0419, .DefaultAnsiCodePage = "932"}, 2, true},
      {"not a number: the ANSI code page",
       {.ThreadLocale = 0x0419, .DefaultAnsiCodePage = "93x", .AnsiCodePage = 932},
       2,
       true},
      {"not a number, single-byte ANSI code page",
       {.ThreadLocale = 0x0419, .DefaultAnsiCodePage = "", .AnsiCodePage = 1252},
       2,
       false},
      {"thread locale 0 is English", {.ThreadLocale = 0, .DefaultAnsiCodePage = "932"}, 2, false},
      {"not the NT family", {.PlatformId = 1, .ThreadLocale = 0x0411}, 1, false},
      {"no version", {.VersionFails = true, .ThreadLocale = 0x0411}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    standin::SetLocaleFactsForTesting(c.facts);
    EstablishStartupFacts();
    EXPECT_EQ(PlatformIdentifier, c.platform);
    EXPECT_EQ(DoubleByteLocale, c.double_byte);

    TRegistry registry;
    ASSERT_TRUE(registry.EnterKey("Measured", false));
    TKeySummary summary;
    ASSERT_TRUE(registry.DescribeKey(summary));
    const DWORD factor = c.double_byte ? 2 : 1;
    EXPECT_EQ(summary.LongestSubkeyName, 7 * factor);
    EXPECT_EQ(summary.LongestValueName, 3 * factor);
    EXPECT_EQ(summary.LongestData, 5u) << "data sizes are never doubled";
    EXPECT_EQ(summary.SubkeyCount, 1u);
    EXPECT_EQ(summary.ValueCount, 1u);
    TStringList subkeys;
    registry.ListSubkeys(subkeys);
    EXPECT_EQ(Entries(subkeys), (std::vector<std::string>{"Seven77"}));
  }
}

// Under a UTF-8 ANSI code page a name takes more bytes than the UTF-16
// characters that the key reports: such a name is fetched again with room
// for any name instead of being lost.
TEST_F(RegistryAccessorStandinTest, NamesLongerInBytesThanInCharactersAreNotLost) {
  standin::SetLocaleFactsForTesting({.ThreadLocale = 0x0409, .AnsiCodePage = CP_UTF8});
  EstablishStartupFacts();
  for (const char* name : {"caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC", "plain"}) {
    OwnedKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string("Wide\\") + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Out(), nullptr),
              ERROR_SUCCESS);
  }
  TRegistry registry;
  ASSERT_TRUE(registry.EnterKey("Wide", false));
  TKeySummary summary;
  ASSERT_TRUE(registry.DescribeKey(summary));
  EXPECT_EQ(summary.LongestSubkeyName, 5u) << "\"plain\"; the others are 4 and 2 UTF-16 characters";
  TStringList subkeys;
  registry.ListSubkeys(subkeys);
  EXPECT_EQ(Entries(subkeys), (std::vector<std::string>{"caf\xC3\xA9", "plain", "\xE6\x97\xA5\xE6\x9C\xAC"}));
}

}  // namespace
