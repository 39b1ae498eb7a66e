// The registry accessor against every registry backend of the build,
// seeded from export text below the contract area of HKEY_CURRENT_USER.
#include "registry/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/owned_key.h"
#include "registry/startup_facts.h"
#include "tests/support/registry_backend.h"
#include "tests/support/registry_backend_test.h"

namespace {

std::string KeyLine(std::string_view subpath) { return "[HKEY_CURRENT_USER\\" + ContractPath(subpath) + "]\r\n"; }

// A key of the contract area whose value "Where" names it.
std::string MarkedKey(std::string_view subpath) {
  return KeyLine(subpath) + "\"Where\"=\"" + std::string(subpath) + "\"\r\n";
}

std::vector<std::string> Entries(const TStringList& list) {
  std::vector<std::string> entries;
  for (std::int32_t i = 0; i < list.Count(); ++i) entries.push_back(list.Get(i));
  return entries;
}

class RegistryAccessorTest : public RegistryBackendTest {
 protected:
  void SetUp() override {
    RegistryBackendTest::SetUp();
    EstablishStartupFacts();
  }
};

std::string BackendName(const ::testing::TestParamInfo<RegistryBackend*>& info) { return info.param->Name(); }

TEST_P(RegistryAccessorTest, ANewAccessorHasTheCurrentUserRootAndNoKey) {
  Seed(KeyLine("") + "\"v\"=\"text\"\r\n");
  TRegistry registry;
  EXPECT_EQ(registry.RootHandle(), HKEY_CURRENT_USER);
  EXPECT_EQ(registry.OpenHandle(), nullptr);
  EXPECT_EQ(registry.OpenPath(), "");
  EXPECT_FALSE(registry.OwnsRoot());
  EXPECT_TRUE(registry.DeferFlush());
  EXPECT_EQ(registry.AccessRights(), 0xF003Fu);
  // Values are looked up in the open key alone, never in the root.
  EXPECT_FALSE(registry.HasValue("v"));
  EXPECT_EQ(registry.ReadText("v"), "");
  EXPECT_EQ(registry.ValueSize("v"), -1);
  TKeySummary summary;
  summary.SubkeyCount = 7;
  EXPECT_FALSE(registry.DescribeKey(summary));
  EXPECT_EQ(summary.SubkeyCount, 0u);
}

TEST_P(RegistryAccessorTest, PathsAreRelativeToTheOpenKeyOrAbsoluteFromTheRoot) {
  const std::string area = ContractPath();
  Seed(MarkedKey("X") + MarkedKey("X\\A") + MarkedKey("X\\A\\B") + MarkedKey("Y"));

  struct Step {
    std::string path;
    bool may_create;
    bool entered;
    std::string open_path;  // afterwards
    std::string where;      // the "Where" of the open key afterwards; "-" for none
  };
  struct Case {
    const char* title;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"relative with no key open starts at the root", {{area + "\\X", false, true, area + "\\X", "X"}}},
      {"relative below the open key",
       {{area + "\\X", false, true, area + "\\X", "X"}, {"A\\B", false, true, area + "\\X\\A\\B", "X\\A\\B"}}},
      {"absolute while a key is open starts at the root",
       {{area + "\\X\\A", false, true, area + "\\X\\A", "X\\A"},
        {"\\" + area + "\\Y", false, true, area + "\\Y", "Y"}}},
      {"a failed open keeps the open key and its path",
       {{area + "\\X", false, true, area + "\\X", "X"},
        {"Missing", false, false, area + "\\X", "X"},
        {"\\Missing", false, false, area + "\\X", "X"}}},
      {"a failed open with no key open leaves none", {{area + "\\Missing", false, false, "", "-"}}},
      {"only one leading backslash is taken off",
       {{area + "\\X", false, true, area + "\\X", "X"}, {"\\\\" + area, false, false, area + "\\X", "X"}}},
      {"a lone backslash opens the root with an empty path",
       {{area + "\\X", false, true, area + "\\X", "X"}, {"\\", false, true, "", "-"}}},
      {"the empty path with no key open opens the root", {{"", false, true, "", "-"}}},
      {"the empty path with a key open opens it again",
       {{area + "\\X", false, true, area + "\\X", "X"}, {"", false, true, area + "\\X\\", "X"}}},
      {"the path goes to the registry unchanged",
       {{area + "\\x\\", false, true, area + "\\x\\", "X"},
        {"a\\\\B", false, true, area + "\\x\\\\a\\\\B", "X\\A\\B"}}},
      {"may_create makes a missing key",
       {{area + "\\Y", false, true, area + "\\Y", "Y"}, {"New\\Deeper", true, true, area + "\\Y\\New\\Deeper", ""}}},
      {"may_create with the empty path opens",
       {{area + "\\Y", false, true, area + "\\Y", "Y"}, {"", true, true, area + "\\Y\\", "Y"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    TRegistry registry;
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.path);
      EXPECT_EQ(registry.EnterKey(step.path, step.may_create), step.entered);
      EXPECT_EQ(registry.OpenPath(), step.open_path);
      if (step.where == "-") {
        EXPECT_FALSE(registry.HasValue("Where"));
      } else {
        EXPECT_EQ(registry.ReadText("Where"), step.where);
      }
    }
  }
}

TEST_P(RegistryAccessorTest, LeavingAndReselectingTheRoot) {
  Seed(MarkedKey("X"));
  TRegistry registry;
  ASSERT_TRUE(registry.EnterKey(ContractPath("X"), false));
  EXPECT_EQ(HandlesOpened(), backend().OpenHandleCount() ? 1 : -1);

  registry.SelectRoot(HKEY_CURRENT_USER);  // the same root: the key stays open
  EXPECT_EQ(registry.OpenPath(), ContractPath("X"));
  EXPECT_EQ(registry.ReadText("Where"), "X");

  registry.SelectRoot(HKEY_LOCAL_MACHINE);  // another root: the key is left
  EXPECT_EQ(registry.OpenHandle(), nullptr);
  EXPECT_EQ(registry.OpenPath(), "");
  EXPECT_EQ(registry.RootHandle(), HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(registry.OwnsRoot());
  EXPECT_EQ(HandlesOpened(), backend().OpenHandleCount() ? 0 : -1);

  registry.SelectRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(registry.EnterKey(ContractPath("X"), false));
  registry.LeaveKey();
  EXPECT_EQ(registry.OpenHandle(), nullptr);
  EXPECT_EQ(registry.OpenPath(), "");
  registry.LeaveKey();  // nothing open: nothing happens
}

TEST_P(RegistryAccessorTest, AConnectionToItsOwnMachineIsAnOwnedRoot) {
  Seed(MarkedKey("X"));
  char own[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof own;
  ASSERT_TRUE(GetComputerNameA(own, &size));
  {
    TRegistry registry;
    ASSERT_TRUE(registry.EnterKey(ContractPath("X"), false));
    ASSERT_TRUE(registry.ConnectMachine("\\\\" + std::string(own)));
    EXPECT_TRUE(registry.OwnsRoot());
    // A connection to the local computer may be a handle of its own or the
    // predefined root handed back (Wine does that). Selecting the root it
    // already has changes nothing, so then the open key stays open.
    const HKEY connection = registry.RootHandle();
    const bool own_handle = connection != HKEY_CURRENT_USER;
    if (own_handle) {
      EXPECT_EQ(registry.OpenHandle(), nullptr) << "connecting leaves the open key";
    } else {
      EXPECT_EQ(registry.OpenPath(), ContractPath("X"));
    }
    ASSERT_TRUE(registry.EnterKey("\\" + ContractPath("X"), false));
    EXPECT_EQ(registry.ReadText("Where"), "X");
    EXPECT_EQ(HandlesOpened(), backend().OpenHandleCount() ? 2 : -1);

    if (own_handle) {
      // The root to reach is the connection now, which is no predefined
      // key: connecting again fails and changes nothing.
      EXPECT_FALSE(registry.ConnectMachine(""));
      EXPECT_EQ(registry.RootHandle(), connection);
      EXPECT_TRUE(registry.OwnsRoot());
      EXPECT_EQ(registry.ReadText("Where"), "X");
    }

    // Another root closes the connection and the open key.
    registry.SelectRoot(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(registry.OwnsRoot());
    EXPECT_EQ(registry.OpenHandle(), nullptr);
    EXPECT_EQ(HandlesOpened(), backend().OpenHandleCount() ? 0 : -1);

    registry.SelectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(registry.ConnectMachine(own));
    ASSERT_TRUE(registry.EnterKey("\\" + ContractPath("X"), false));
  }
  // Destruction closed the key and the connection (checked on tear-down).
}

TEST_P(RegistryAccessorTest, ListSubkeysEmptiesTheListFirstAndKeepsTheRegistrysOrder) {
  Seed(KeyLine("List\\beta") + KeyLine("List\\Alpha") + KeyLine("List\\gamma\\deeper") + KeyLine("Leaf"));
  TRegistry registry;
  TStringList list;
  list.Add("stale");
  registry.ListSubkeys(list);
  EXPECT_EQ(list.Count(), 0) << "no key open";

  list.Add("stale");
  ASSERT_TRUE(registry.EnterKey(ContractPath("Leaf"), false));
  registry.ListSubkeys(list);
  EXPECT_EQ(list.Count(), 0) << "a key without subkeys";

  list.Add("stale");
  ASSERT_TRUE(registry.EnterKey("\\" + ContractPath("List"), false));
  registry.ListSubkeys(list);
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(registry.OpenPath(), ContractPath("List"));
}

TEST_P(RegistryAccessorTest, ListSubkeysSkipsNamesThatVanishAndTakesLongerOnes) {
  Seed(KeyLine("List\\A") + KeyLine("List\\B") + KeyLine("List\\C") + KeyLine("List\\D"));
  TRegistry registry;
  ASSERT_TRUE(registry.EnterKey(ContractPath("List"), false));
  // Before index 1: B is renamed to a name longer than the buffer (sized
  // for one character), and D is removed.
  bool changed = false;
  const bool hooked = backend().SetEnumKeyHook([&](HKEY, DWORD index) {
    if (index != 1 || changed) return;
    changed = true;
    OwnedKey list;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ContractPath("List").c_str(), 0, KEY_ALL_ACCESS, list.Out()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(list.Get(), "B"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(list.Get(), "D"), ERROR_SUCCESS);
    OwnedKey renamed;
    EXPECT_EQ(RegCreateKeyExA(list.Get(), "B renamed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, renamed.Out(), nullptr),
              ERROR_SUCCESS);
  });
  if (!hooked) GTEST_SKIP() << "the backend cannot run code between enumeration calls";
  TStringList list;
  registry.ListSubkeys(list);
  // Index 3 is past the end now: skipped, and no name is repeated.
  EXPECT_EQ(Entries(list), (std::vector<std::string>{"A", "B renamed", "C"}));
}

TEST_P(RegistryAccessorTest, ReadTextGivesTextValuesAndRaisesForOthers) {
  Seed(KeyLine("Values") +
       "\"sz\"=\"Office Suite 2.0\"\r\n"
       "\"sz bare\"=hex(1):61,62,63\r\n"
       "\"sz zero inside\"=hex(1):61,62,00,63,64,00\r\n"
       "\"sz empty\"=hex(1):\r\n"
       "\"sz only zero\"=hex(1):00\r\n"
       "\"expand\"=hex(2):25,50,41,54,48,25,5c,78,00\r\n"
       "\"expand bare\"=hex(2):25,41,25\r\n"
       "\"dword\"=dword:00000001\r\n"
       "\"binary\"=hex:41,42,00\r\n"
       "\"multi\"=hex(7):61,00,62,00,00\r\n"
       "\"none\"=hex(0):41,00\r\n"
       "\"qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
       "\"big endian\"=hex(5):00,00,00,01\r\n"
       "\"dword empty\"=hex(4):\r\n"
       "\"binary empty\"=hex:\r\n"
       "\"multi empty\"=hex(7):\r\n"
       "\"none empty\"=hex(0):\r\n"
       "@=\"the default\"\r\n");
  TRegistry registry;
  ASSERT_TRUE(registry.EnterKey(ContractPath("Values"), false));

  struct Case {
    const char* name;
    const char* text;   // null when an error is raised
    const char* error;  // the message's format
  };
  const Case cases[] = {
      {"sz", "Office Suite 2.0", nullptr},
      {"SZ", "Office Suite 2.0", nullptr},
      {"sz bare", "abc", nullptr},
      {"sz zero inside", "ab", nullptr},
      {"sz empty", "", nullptr},
      {"sz only zero", "", nullptr},
      {"expand", "%PATH%\\x", nullptr},
      {"expand bare", "%A%", nullptr},
      {"", "the default", nullptr},
      {"missing", "", nullptr},
      {"dword empty", "", nullptr},
      {"binary empty", "", nullptr},
      {"multi empty", "", nullptr},
      {"none empty", "", nullptr},
      {"dword", nullptr, "Invalid data type for '%s'"},
      {"binary", nullptr, "Invalid data type for '%s'"},
      {"multi", nullptr, "Invalid data type for '%s'"},
      {"none", nullptr, "Invalid data type for '%s'"},
      {"qword", nullptr, "Invalid data type for '%s'"},
      {"big endian", nullptr, "Invalid data type for '%s'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.text != nullptr) {
      EXPECT_EQ(registry.ReadText(c.name), c.text);
      continue;
    }
    try {
      registry.ReadText(c.name);
      ADD_FAILURE() << "nothing raised";
    } catch (const ERegistryException& error) {
      EXPECT_EQ(error.MessageText, FormatText(c.error, {c.name}));
      EXPECT_STREQ(error.ClassName(), "ERegistryException");
      EXPECT_NE(error.RaiseAddress, nullptr);
    }
    // The accessor keeps its key and stays usable.
    EXPECT_EQ(registry.OpenPath(), ContractPath("Values"));
    EXPECT_EQ(registry.ReadText("sz"), "Office Suite 2.0");
  }
}

// Text stored without a terminating zero (by a Unicode program, or from an
// export file) is read whole.
TEST_P(RegistryAccessorTest, ReadTextTakesTextStoredWithoutAZeroWhole) {
  Seed(KeyLine("Values"));
  TRegistry registry;
  ASSERT_TRUE(registry.EnterKey(ContractPath("Values"), false));
  ASSERT_EQ(backend().StoreValueUnchanged(registry.OpenHandle(), "bare", REG_SZ, "Image Viewer"), ERROR_SUCCESS);
  ASSERT_EQ(backend().StoreValueUnchanged(registry.OpenHandle(), "expand bare", REG_EXPAND_SZ, "%A%"), ERROR_SUCCESS);
  EXPECT_EQ(registry.ReadText("bare"), "Image Viewer");
  EXPECT_EQ(registry.ReadText("expand bare"), "%A%");
}

TEST_P(RegistryAccessorTest, ValuesAreDescribedWhateverTheirType) {
  Seed(KeyLine("Values") +
       "\"none\"=hex(0):\r\n\"dword\"=dword:00000007\r\n\"binary\"=hex:01,02,03\r\n"
       "\"sz\"=\"ab\"\r\n\"expand\"=hex(2):00\r\n\"multi\"=hex(7):00,00\r\n");
  TRegistry registry;
  ASSERT_TRUE(registry.EnterKey(ContractPath("Values"), false));
  struct Case {
    const char* name;
    TValueKind kind;
    DWORD size;
  };
  const Case cases[] = {
      {"none", TValueKind::vkOther, 0}, {"dword", TValueKind::vkInteger, 4},     {"binary", TValueKind::vkBinary, 3},
      {"sz", TValueKind::vkText, 3},    {"expand", TValueKind::vkExpandText, 1}, {"multi", TValueKind::vkOther, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TValueFacts facts;
    ASSERT_TRUE(registry.DescribeValue(c.name, facts));
    EXPECT_EQ(facts.Kind, c.kind);
    EXPECT_EQ(facts.Size, c.size);
    EXPECT_TRUE(registry.HasValue(c.name));
    EXPECT_EQ(registry.ValueSize(c.name), static_cast<std::int32_t>(c.size));
  }
  TValueFacts facts;
  facts.Size = 9;
  EXPECT_FALSE(registry.DescribeValue("missing", facts));
  EXPECT_EQ(facts.Size, 0u);
  EXPECT_FALSE(registry.HasValue("missing"));
}

TEST_P(RegistryAccessorTest, FetchingAValueThatIsGoneRaises) {
  Seed(KeyLine("Values") + "\"sz\"=\"abc\"\r\n");
  TRegistry registry;
  ASSERT_TRUE(registry.EnterKey(ContractPath("Values"), false));
  char buffer[8] = {};
  TValueKind kind = TValueKind::vkOther;
  EXPECT_EQ(registry.FetchValue("sz", buffer, sizeof buffer, kind), 4);
  EXPECT_EQ(kind, TValueKind::vkText);
  try {
    registry.FetchValue("gone", buffer, sizeof buffer, kind);
    ADD_FAILURE() << "nothing raised";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.MessageText, "Failed to get data for 'gone'");
  }
  // A buffer too small fails the fetch as well.
  EXPECT_THROW(registry.FetchValue("sz", buffer, 2, kind), ERegistryException);
}

TEST_P(RegistryAccessorTest, AnErrorLeavingTheListingStillClosesEverything) {
  Seed(KeyLine("Values") + "\"dword\"=dword:00000001\r\n");
  char own[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof own;
  ASSERT_TRUE(GetComputerNameA(own, &size));
  EXPECT_THROW(
      {
        TRegistry registry;
        registry.SelectRoot(HKEY_CURRENT_USER);
        ASSERT_TRUE(registry.ConnectMachine(own));
        ASSERT_TRUE(registry.EnterKey(ContractPath("Values"), false));
        registry.ReadText("dword");
      },
      ERegistryException);
  // Tear-down checks that no handle is left.
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryAccessorTest, ::testing::ValuesIn(RegistryBackends()), BackendName);

}  // namespace
