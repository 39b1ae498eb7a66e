// The winreg registry client against an in-memory winreg server: the
// registry's answers and errors come through the seam unchanged, the
// inventory's pattern of calls costs the round trips the client promises,
// and read-ahead changes no answer however the pipes behave.
#include <gtest/gtest.h>
#include <malloc.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/smb/rpc/status.h"
#include "platform/smb/winreg/registry.h"
#include "tests/support/fake_winreg_server.h"
#include "tests/support/uninstall_listing.h"

namespace {

using smbtest::FakeServerOptions;
using smbtest::FakeWinregServer;
using winreg::Registry;
using winreg::RegistryOptions;
using KeyId = lan::RemoteRegistry::KeyId;

constexpr std::u16string_view kUninstall = testsupport::kUninstallPath;

std::u16string Utf16Number(int number) {
  const std::string digits = std::to_string(number);
  return std::u16string(digits.begin(), digits.end());
}

// Where the registry's messages go when a test does not look at them.
std::ostream& Unread() {
  static std::ostream discarded(nullptr);
  return discarded;
}

std::unique_ptr<Registry> Connect(FakeWinregServer& server, std::size_t pipes) {
  std::unique_ptr<Registry> registry;
  RegistryOptions options;
  options.ReadAheadPipes = pipes;
  EXPECT_EQ(Registry::Connect(server, u"PC1", HKEY_LOCAL_MACHINE, options, Unread(), registry), NO_ERROR);
  return registry;
}

// What the inventory does with one computer (uninstall_listing.h), a line
// for each subkey: its application's name, or the error of the call that
// failed.
std::vector<std::string> ReadInventory(lan::RemoteRegistry& registry) {
  using Failed = testsupport::ListedSubkey::Failed;
  const testsupport::UninstallListing listing = testsupport::ListUninstallKey(registry);
  if (listing.Status != NO_ERROR) return {"uninstall key: " + std::to_string(listing.Status)};
  std::vector<std::string> lines;
  for (const testsupport::ListedSubkey& subkey : listing.Subkeys) {
    const std::string status = std::to_string(subkey.Status);
    switch (subkey.Step) {
      case Failed::kNothing: {
        const std::u16string name = subkey.DisplayName();
        lines.emplace_back(name.begin(), name.end());
        break;
      }
      case Failed::kName:
        lines.push_back("enum: " + status);
        break;
      case Failed::kOpen:
        lines.push_back("open: " + status);
        break;
      case Failed::kDisplayName:
        lines.push_back("value: " + status);
        break;
    }
  }
  return lines;
}

TEST(WinregRegistryTest, InventoryIsTheSameWithAndWithoutReadAheadAndCostsItsPromisedCalls) {
  constexpr std::size_t kApplications = 40;
  struct Case {
    const char* Name;
    FakeServerOptions Server;
    std::size_t Pipes;
  };
  FakeServerOptions small_fragments;
  small_fragments.FragmentStub = 24;
  small_fragments.ReadChunk = 7;
  FakeServerOptions one_pipe;
  one_pipe.Pipes = 1;
  const Case cases[] = {{"own pipe only", {}, 0},
                        {"read-ahead", {}, 4},
                        {"small fragments and reads", small_fragments, 3},
                        {"no pipe for the read-ahead", one_pipe, 4}};
  std::vector<std::string> expected;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.Name);
    FakeWinregServer server(test.Server);
    server.AddApplications(kApplications);
    server.Keys[std::u16string(kUninstall) + u"\\{App-20}"].Denied = true;
    auto registry = Connect(server, test.Pipes);
    const std::vector<std::string> lines = ReadInventory(*registry);
    ASSERT_EQ(lines.size(), kApplications);
    EXPECT_EQ(lines[0], "Application App-0");
    EXPECT_EQ(lines[9], "value: 2");
    EXPECT_EQ(lines[20], "open: 5");
    if (expected.empty()) expected = lines;
    EXPECT_EQ(lines, expected);
    // Root, open, facts, close; per application one name, then open, one
    // query (which answers all three), close; the denied key has no query
    // or close.
    constexpr std::uint64_t kReadingAlone = 4 + 4 * kApplications - 2;
    const winreg::RegistryCallCounts counts = registry->CallCounts();
    if (test.Pipes == 0 || test.Server.Pipes == 1) {
      EXPECT_EQ(counts.Own, kReadingAlone);
      EXPECT_EQ(counts.ReadAhead, 0u);
    } else {
      // Which pipe makes a call depends on timing: the registry's own takes
      // over what the read-ahead has not started when it is asked for. No
      // call is made twice; each read-ahead pipe adds its root and its open
      // of the listed key, and may leave its keys' closes to the end of the
      // association.
      EXPECT_LE(counts.Own + counts.ReadAhead, kReadingAlone + 2 * test.Pipes);
    }
  }
}

TEST(WinregRegistryTest, RegistryErrorsComeThroughUnchanged) {
  FakeWinregServer server;
  server.AddApplications(3);
  const std::u16string app = std::u16string(kUninstall) + u"\\{App-1}";
  server.Keys[app].Values[u"Big"] = {REG_BINARY, std::string(20000, 'x')};
  server.Keys[app].Values[u"Largest"] = {REG_BINARY, std::string(lan::kMaxValueData, 'y')};
  server.Keys[app].Values[u"Huge"] = {REG_BINARY, std::string(lan::kMaxValueData + 1, 'y')};
  server.Keys[app].Values[u"Empty"] = {REG_SZ, ""};
  const std::u16string long_name(255, u'L');
  server.Keys[app].Subkeys = {long_name};
  server.Keys[app + u"\\" + long_name];
  server.Keys[u"Secret"].Denied = true;
  auto registry = Connect(server, 0);

  KeyId key = 0;
  EXPECT_EQ(registry->OpenKey(0, u"Software\\Missing", KEY_READ, key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry->OpenKey(0, u"Secret", KEY_READ, key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry->OpenKey(0, std::u16string(40000, u'a'), KEY_READ, key), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(registry->OpenKey(0, app, KEY_READ, key), NO_ERROR);

  std::u16string name;
  FILETIME written{};
  ASSERT_EQ(registry->EnumKey(key, 0, name, written), NO_ERROR);
  EXPECT_EQ(name, long_name);
  EXPECT_EQ(written.dwLowDateTime, 0x11223344u);
  EXPECT_EQ(registry->EnumKey(key, 1, name, written), ERROR_NO_MORE_ITEMS);

  struct ValueCase {
    const char16_t* Name;
    bool FetchData;
    DWORD Status;
    DWORD Size;
  };
  const ValueCase values[] = {
      {u"Missing", false, ERROR_FILE_NOT_FOUND, 0},
      {u"Big", false, NO_ERROR, 20000},
      {u"Big", true, NO_ERROR, 20000},
      {u"Largest", true, NO_ERROR, lan::kMaxValueData},
      {u"Huge", false, NO_ERROR, lan::kMaxValueData + 1},
      {u"Huge", true, ERROR_NOT_ENOUGH_MEMORY, 0},
      {u"Empty", true, NO_ERROR, 0},
  };
  for (const ValueCase& test : values) {
    DWORD type = 0, size = 12345;
    std::string data = "untouched";
    EXPECT_EQ(registry->QueryValue(key, test.Name, test.FetchData, type, size, data), test.Status);
    if (test.Status != NO_ERROR) continue;
    EXPECT_EQ(size, test.Size);
    EXPECT_EQ(type, server.Keys[app].Values[test.Name].Type);
    if (test.FetchData) {
      EXPECT_EQ(data.size(), test.Size);
    }
  }

  lan::KeyFacts facts;
  ASSERT_EQ(registry->QueryKeyFacts(key, facts), NO_ERROR);
  EXPECT_EQ(facts.SubkeyCount, 1u);
  EXPECT_EQ(facts.LongestSubkeyName, 255u);
  EXPECT_EQ(facts.ValueCount, 6u);
  EXPECT_EQ(registry->CloseKey(key), NO_ERROR);
  EXPECT_EQ(registry->CloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->CloseKey(lan::RemoteRegistry::kRootKey), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->EnumKey(key, 0, name, written), ERROR_INVALID_HANDLE);
}

// A server that sends more than the client made room for: a key name
// beyond the registry's limit of 255 characters, data beyond the room of
// the query. Each is a protocol error for its call, and the next call
// works.
TEST(WinregRegistryTest, RepliesBeyondTheRoomOfferedAreProtocolErrors) {
  struct NameCase {
    std::size_t Length;
    bool IgnoresRoom;
    DWORD Status;
  };
  const NameCase names[] = {
      {255, false, NO_ERROR},
      {255, true, NO_ERROR},
      {256, false, rpc::kRpcProtocolError},  // the server asks for more room
      {256, true, rpc::kRpcProtocolError},
      {32766, true, rpc::kRpcProtocolError},
  };
  for (const NameCase& test : names) {
    SCOPED_TRACE(test.Length);
    FakeServerOptions options;
    options.IgnoresRoom = test.IgnoresRoom;
    FakeWinregServer server(options);
    server.Keys[u""].Subkeys = {std::u16string(test.Length, u'n'), u"next"};
    auto registry = Connect(server, 0);
    std::u16string name;
    FILETIME written{};
    EXPECT_EQ(registry->EnumKey(lan::RemoteRegistry::kRootKey, 0, name, written), test.Status);
    EXPECT_EQ(name.size(), test.Status == NO_ERROR ? test.Length : 0);
    ASSERT_EQ(registry->EnumKey(lan::RemoteRegistry::kRootKey, 1, name, written), NO_ERROR);
    EXPECT_EQ(name, u"next");
  }

  struct ValueCase {
    std::size_t Size;
    bool IgnoresRoom;
    DWORD Status;
  };
  const ValueCase values[] = {
      {9000, false, NO_ERROR},
      {9000, true, rpc::kRpcProtocolError},  // whole, to a query with room for 8 KiB
      {1536 * 1024, true, rpc::kRpcProtocolError},
  };
  for (const ValueCase& test : values) {
    SCOPED_TRACE(test.Size);
    FakeServerOptions options;
    options.IgnoresRoom = test.IgnoresRoom;
    FakeWinregServer server(options);
    server.Keys[u""].Values[u"V"] = {REG_BINARY, std::string(test.Size, 'v')};
    server.Keys[u""].Values[u"Small"] = {REG_SZ, std::string(4, 's')};
    auto registry = Connect(server, 0);
    DWORD type = 0, size = 0;
    std::string data;
    EXPECT_EQ(registry->QueryValue(lan::RemoteRegistry::kRootKey, u"V", true, type, size, data), test.Status);
    EXPECT_EQ(data.size(), test.Status == NO_ERROR ? test.Size : 0);
    EXPECT_EQ(registry->QueryValue(lan::RemoteRegistry::kRootKey, u"Small", true, type, size, data), NO_ERROR);
  }
}

// What the registry keeps of a listing it answered: a few answers per key,
// not every name (heap in use, as glibc counts it, after 2,000 names of
// 255 characters: 1 MB of names).
TEST(WinregRegistryTest, AnsweredNamesAreNotAllKept) {
  FakeWinregServer server;
  for (int index = 0; index < 2000; ++index) {
    server.Keys[u""].Subkeys.push_back(std::u16string(250, u'n') + Utf16Number(index));
  }
  auto registry = Connect(server, 0);
  const std::size_t before = mallinfo2().uordblks;
  std::u16string name;
  FILETIME written{};
  for (DWORD index = 0; index < 2000; ++index) {
    ASSERT_EQ(registry->EnumKey(lan::RemoteRegistry::kRootKey, index, name, written), NO_ERROR);
  }
  const std::size_t after = mallinfo2().uordblks;
  EXPECT_LT(after, before + 100 * 1024) << "held after the listing: " << after - before;
}

// Facts that claim what no registry holds are cut to what one can, with
// a message where subkeys would go unlisted; a listing that follows the
// facts costs a call per subkey that exists and one more.
TEST(WinregRegistryTest, KeyFactsAreHeldToWhatARegistryCanHold) {
  struct Case {
    winreg::QueryInfoKeyReply Claimed;
    DWORD SubkeyCount;
    DWORD LongestSubkeyName;
    DWORD LongestValueName;
    const char* Message;
  };
  const auto claim = [](DWORD subkeys, DWORD longest_subkey, DWORD values, DWORD longest_value_name,
                        DWORD longest_data) {
    return winreg::QueryInfoKeyReply{.cSubKeys = subkeys,
                                     .cbMaxSubKeyLen = longest_subkey,
                                     .cValues = values,
                                     .cbMaxValueNameLen = longest_value_name,
                                     .cbMaxValueLen = longest_data};
  };
  const Case cases[] = {
      {claim(3, 10, 1, 20, 30), 3, 10, 20, ""},
      {claim(winreg::kMostSubkeys, 255, 0, 16383, 0), winreg::kMostSubkeys, 255, 16383, ""},
      {claim(winreg::kMostSubkeys + 1, 256, 0, 16384, 0), winreg::kMostSubkeys, 255, 16383,
       "the server counts 65537 subkeys"},
      {claim(0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), winreg::kMostSubkeys, 255, 16383,
       "kestrova: \\\\PC1: HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall: "
       "the server counts 4294967295 subkeys; only the first 65536 are listed\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.Claimed.cSubKeys);
    FakeWinregServer server;
    server.AddApplications(3);
    server.Keys[std::u16string(kUninstall)].ClaimedFacts = test.Claimed;
    std::ostringstream diagnostics;
    RegistryOptions options;
    options.ReadAheadPipes = 0;
    std::unique_ptr<Registry> registry;
    ASSERT_EQ(Registry::Connect(server, u"PC1", HKEY_LOCAL_MACHINE, options, diagnostics, registry), NO_ERROR);
    KeyId key = 0;
    ASSERT_EQ(registry->OpenKey(lan::RemoteRegistry::kRootKey, kUninstall, KEY_READ, key), NO_ERROR);
    lan::KeyFacts facts;
    ASSERT_EQ(registry->QueryKeyFacts(key, facts), NO_ERROR);
    EXPECT_EQ(facts.SubkeyCount, test.SubkeyCount);
    EXPECT_EQ(facts.LongestSubkeyName, test.LongestSubkeyName);
    EXPECT_EQ(facts.LongestValueName, test.LongestValueName);
    EXPECT_EQ(facts.LongestValueData, test.Claimed.cbMaxValueLen);
    EXPECT_NE(diagnostics.str().find(test.Message), std::string::npos) << diagnostics.str();
    EXPECT_EQ(diagnostics.str().empty(), *test.Message == '\0');

    const std::uint64_t calls = registry->CallCounts().Own;
    DWORD listed = 0;
    for (DWORD index = 0; index < std::min<DWORD>(facts.SubkeyCount, winreg::kMostSubkeys + 8); ++index) {
      std::u16string name;
      FILETIME written{};
      if (registry->EnumKey(key, index, name, written) == NO_ERROR) ++listed;
    }
    EXPECT_EQ(listed, 3u);
    EXPECT_EQ(registry->CallCounts().Own - calls, std::min<DWORD>(test.SubkeyCount, 4));
  }
}

// A server that trickles its reply, a byte per read: the call ends at its
// time limit, long before the reply would, and the connection with it.
TEST(WinregRegistryTest, TrickledReplyEndsAtTheCallsTimeLimit) {
  FakeServerOptions options;
  options.CallTimeLimit = std::chrono::milliseconds(300);
  options.TrickleFromCall = 2;  // the root's open comes whole
  options.TrickleDelay = std::chrono::milliseconds(1);
  FakeWinregServer server(options);
  server.Keys[u""].Values[u"V"] = {REG_BINARY, std::string(8000, 'v')};
  auto registry = Connect(server, 0);
  DWORD type = 0, size = 0;
  std::string data;
  const std::uint64_t reads = server.ReadsAnswered();
  EXPECT_EQ(registry->QueryValue(lan::RemoteRegistry::kRootKey, u"V", true, type, size, data), ERROR_TIMEOUT);
  EXPECT_LT(server.ReadsAnswered() - reads, 4000u);
  EXPECT_EQ(registry->QueryValue(lan::RemoteRegistry::kRootKey, u"W", true, type, size, data), ERROR_TIMEOUT);
}

// Read-ahead pipes that are slow to open: once the registry goes, no pipe
// is opened any more (only the open under way is waited for), and once an
// open fails none is tried again.
TEST(WinregRegistryTest, ReadAheadOpensNoPipeOnceStoppedOrRefused) {
  FakeServerOptions slow;
  slow.OpenDelay = std::chrono::milliseconds(300);
  FakeWinregServer server(slow);
  server.AddApplications(40);
  auto registry = Connect(server, 8);
  KeyId key = 0;
  ASSERT_EQ(registry->OpenKey(lan::RemoteRegistry::kRootKey, kUninstall, KEY_READ, key), NO_ERROR);
  std::u16string name;
  FILETIME written{};
  ASSERT_EQ(registry->EnumKey(key, 0, name, written), NO_ERROR);
  ASSERT_EQ(registry->EnumKey(key, 1, name, written), NO_ERROR);  // the read-ahead starts
  for (int wait = 0; wait < 1000 && server.PipesOpened() < 2; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::size_t opened = server.PipesOpened();
  registry.reset();
  EXPECT_EQ(server.PipesOpened(), opened);

  for (std::size_t pipes : {1, 3}) {
    SCOPED_TRACE(pipes);
    FakeServerOptions refusing;
    refusing.Pipes = pipes;
    FakeWinregServer limited(refusing);
    limited.AddApplications(40);
    ReadInventory(*Connect(limited, 8));
    EXPECT_LE(limited.PipesOpened(), pipes + 1);  // no pipe is tried after a refusal
  }
}

// A caller that starts listing key after key and leaves each: the
// read-ahead's answers that it never takes are not all kept.
TEST(WinregRegistryTest, AbandonedReadAheadIsNotAllKept) {
  FakeWinregServer server;
  for (int key = 0; key < 500; ++key) {
    const std::u16string path = u"K" + Utf16Number(key);
    server.Keys[u""].Subkeys.push_back(path);
    for (int index = 0; index < 40; ++index) {
      server.Keys[path].Subkeys.push_back(u"S" + Utf16Number(index));
      server.Keys[path + u"\\S" + Utf16Number(index)];
    }
  }
  auto registry = Connect(server, 4);
  const std::size_t before = mallinfo2().uordblks;
  for (const std::u16string& path : server.Keys[u""].Subkeys) {
    KeyId key = 0;
    ASSERT_EQ(registry->OpenKey(lan::RemoteRegistry::kRootKey, path, KEY_READ, key), NO_ERROR);
    std::u16string name;
    FILETIME written{};
    ASSERT_EQ(registry->EnumKey(key, 0, name, written), NO_ERROR);
    ASSERT_EQ(registry->EnumKey(key, 1, name, written), NO_ERROR);  // 32 names are read ahead
    registry->CloseKey(key);
  }
  const std::size_t after = mallinfo2().uordblks;
  EXPECT_LT(after, before + 1024 * 1024) << "held after 500 listings: " << after - before;
}

TEST(WinregRegistryTest, RootsAndPipesThatCannotBeHad) {
  FakeWinregServer server;
  std::unique_ptr<Registry> registry;
  EXPECT_EQ(Registry::Connect(server, u"PC1", HKEY_CURRENT_USER, {}, Unread(), registry), ERROR_INVALID_PARAMETER);
  FakeServerOptions no_pipes;
  no_pipes.Pipes = 0;
  FakeWinregServer unreachable(no_pipes);
  EXPECT_EQ(Registry::Connect(unreachable, u"PC1", HKEY_USERS, {}, Unread(), registry), ERROR_BAD_NETPATH);
  EXPECT_EQ(registry, nullptr);
  server.Keys[u"Software"];
  std::unique_ptr<lan::RemoteRegistry> users;
  ASSERT_EQ(winreg::ConnectRegistry(server, u"PC1", HKEY_USERS, Unread(), users), NO_ERROR);
  KeyId key = 0;
  EXPECT_EQ(users->OpenKey(lan::RemoteRegistry::kRootKey, u"Software", KEY_READ, key), NO_ERROR);
}

// A server that dies in the middle of a listing: the calls after it fail
// with the pipe's error, whichever pipe they would have used, and each
// pipe meets the dead server once: every later call fails without
// touching it.
TEST(WinregRegistryTest, ServerThatDiesMidListingFailsTheRestQuickly) {
  for (std::int64_t death : {3, 30, 70}) {
    SCOPED_TRACE(death);
    FakeServerOptions options;
    options.CallsBeforeDeath = death;
    FakeWinregServer server(options);
    server.AddApplications(40);
    auto registry = Connect(server, 4);
    const std::vector<std::string> lines = ReadInventory(*registry);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(std::to_string(ERROR_BROKEN_PIPE)), std::string::npos) << lines.back();
    EXPECT_LE(server.UsesAfterDeath(), server.PipesOpened());
  }
}

}  // namespace
