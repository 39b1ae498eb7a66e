// The stand-in's registry functions above the LAN source interface, held
// against a LAN source of the test's own: paths reach the source
// normalised, a LAN computer's registry is read and never changed, and
// every key the functions open is closed again.
#include "platform/lan/lan_source.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/lan/utf16_text.h"
#include "platform/owned_key.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/locale/locale_control.h"
#include "platform/standin/registry/registry_control.h"

namespace {

constexpr LONG Status(DWORD code) { return static_cast<LONG>(code); }

// One computer, "PC", whose registry holds the key Apps with two subkeys
// and two values; every call is noted.
class FakeRegistry : public lan::RemoteRegistry {
 public:
  explicit FakeRegistry(std::vector<std::string>& calls) : calls_(calls) {}
  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override {
    calls_.push_back("open " + lan::Utf8FromUtf16(path) + " " + std::to_string(access));
    if (parent != kRootKey || path != u"Apps") return ERROR_FILE_NOT_FOUND;
    key = next_++;
    return NO_ERROR;
  }
  DWORD EnumKey(KeyId /*key*/, DWORD index, std::u16string& name, FILETIME& last_written) override {
    static const std::u16string kNames[] = {u"Caf\u00E9", u"\u03A9mega"};
    if (index >= 2) return ERROR_NO_MORE_ITEMS;
    name = kNames[index];
    last_written = {};
    return NO_ERROR;
  }
  DWORD QueryValue(KeyId /*key*/, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override {
    const std::string stored = lan::Utf16leBytes(name == u"Broken" ? u"unread" : u"K\u00F6ln");
    if (name == u"Broken" && fetch_data) return ERROR_IO_DEVICE;
    if (name != u"Broken" && name != u"DisplayName") return ERROR_FILE_NOT_FOUND;
    type = REG_SZ;
    size = static_cast<DWORD>(stored.size());
    if (fetch_data) data = stored;
    return NO_ERROR;
  }
  DWORD QueryKeyFacts(KeyId /*key*/, lan::KeyFacts& facts) override {
    facts = lan::KeyFacts{};
    facts.SubkeyCount = 2;
    facts.LongestSubkeyName = 5;
    return NO_ERROR;
  }
  DWORD CloseKey(KeyId key) override {
    calls_.push_back("close " + std::to_string(key));
    return NO_ERROR;
  }

 private:
  std::vector<std::string>& calls_;
  KeyId next_ = 1;
};

class FakeLan : public lan::LanSource {
 public:
  explicit FakeLan(std::vector<std::string>& calls) : calls_(calls) {}
  DWORD OpenLevel(const lan::BrowseRecord*, DWORD, DWORD, std::unique_ptr<lan::BrowseLevel>&) override {
    return ERROR_NO_NETWORK;
  }
  DWORD ConnectRegistry(std::u16string_view machine, HKEY /*root*/,
                        std::unique_ptr<lan::RemoteRegistry>& registry) override {
    calls_.push_back("connect " + lan::Utf8FromUtf16(machine));
    if (machine != u"pc") return ERROR_BAD_NETPATH;
    registry = std::make_unique<FakeRegistry>(calls_);
    return NO_ERROR;
  }

 private:
  std::vector<std::string>& calls_;
};

TEST(LanSourceRegistryTest, TheRegistryFunctionsReadALanComputerThroughTheSource) {
  std::vector<std::string> calls;
  standin::UseLanForTesting(std::make_unique<FakeLan>(calls));
  standin::SetLocaleFactsForTesting({.AnsiCodePage = 1252});
  {
    OwnedKey root;
    ASSERT_EQ(RegConnectRegistryA("\\\\pc", HKEY_LOCAL_MACHINE, root.Out()), ERROR_SUCCESS);
    OwnedKey apps;
    ASSERT_EQ(RegOpenKeyExA(root.Get(), "Apps\\\\", 0, MAXIMUM_ALLOWED, apps.Out()), ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(root.Get(), "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, apps.Out(), nullptr),
              Status(ERROR_ACCESS_DENIED));
    ASSERT_EQ(RegOpenKeyExA(root.Get(), "Apps", 0, KEY_READ, apps.Out()), ERROR_SUCCESS);

    std::vector<std::string> names;
    char name[16];
    for (DWORD index = 0;; ++index) {
      DWORD room = sizeof name;
      if (RegEnumKeyExA(apps.Get(), index, name, &room, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name, room);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Caf\xE9", "?mega"}));

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(apps.Get(), "DisplayName", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u) << "the size of the ANSI data";
    char data[16] = {};
    EXPECT_EQ(RegQueryValueExA(apps.Get(), "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(data, size), "K\xF6ln");
    EXPECT_EQ(RegQueryValueExA(apps.Get(), "Broken", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u) << "data that cannot be fetched count a byte for each UTF-16 unit";
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(apps.Get(), "Broken", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              Status(ERROR_IO_DEVICE));
    const BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(apps.Get(), "v", 0, REG_BINARY, &one, 1), Status(ERROR_ACCESS_DENIED));
    EXPECT_EQ(standin::OpenLanConnectionCount(), 1);
  }
  EXPECT_EQ(standin::OpenLanConnectionCount(), 0);
  EXPECT_EQ(standin::OpenRegistryHandleCount(), 0);
  // Out() closes what the handle held before the next open; the root is
  // closed with the connection.
  EXPECT_EQ(calls, (std::vector<std::string>{"connect pc", "open Apps " + std::to_string(KEY_READ), "close 1",
                                             "open New " + std::to_string(KEY_ALL_ACCESS),
                                             "open Apps " + std::to_string(KEY_READ), "close 2"}));
  standin::SetLocaleFactsForTesting({});
  standin::UseEmptyLanForTesting();
}

// A path reaches the source with one backslash between two names, taken
// as it is when it is written so, rewritten when it is not.
TEST(LanSourceRegistryTest, PathsReachTheSourceWithOneBackslashBetweenNames) {
  std::vector<std::string> calls;
  standin::UseLanForTesting(std::make_unique<FakeLan>(calls));
  standin::SetLocaleFactsForTesting({.AnsiCodePage = 1252});
  const std::string long_name(256, 'n');
  struct Case {
    const char* path;
    LONG status;
    const char* reaches;  // the path that the source sees; null for no call
  };
  const Case cases[] = {
      {"Apps", ERROR_SUCCESS, "Apps"},
      {"A\\B\\C", Status(ERROR_FILE_NOT_FOUND), "A\\B\\C"},
      {"A\\\\B\\", Status(ERROR_FILE_NOT_FOUND), "A\\B"},
      {"Caf\xE9\\\\x", Status(ERROR_FILE_NOT_FOUND), "Caf\xC3\xA9\\x"},
      {"", Status(ERROR_FILE_NOT_FOUND), ""},
      {"\\\\", Status(ERROR_BAD_PATHNAME), nullptr},
      {long_name.c_str(), Status(ERROR_INVALID_PARAMETER), nullptr},
  };
  OwnedKey root;
  ASSERT_EQ(RegConnectRegistryA("pc", HKEY_LOCAL_MACHINE, root.Out()), ERROR_SUCCESS);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    calls.clear();
    OwnedKey key;
    EXPECT_EQ(RegOpenKeyExA(root.Get(), c.path, 0, KEY_READ, key.Out()), c.status);
    key.Reset();
    std::vector<std::string> expected;
    if (c.reaches != nullptr) expected.push_back("open " + std::string(c.reaches) + " " + std::to_string(KEY_READ));
    if (c.status == ERROR_SUCCESS) expected.emplace_back("close 1");
    EXPECT_EQ(calls, expected);
  }
  root.Reset();
  standin::SetLocaleFactsForTesting({});
  standin::UseEmptyLanForTesting();
}

}  // namespace
