#include "platform/smb/reporting_registry.h"

#include <gtest/gtest.h>

#include <sstream>

namespace smb {
namespace {

// A registry whose every call answers `next` and counts the calls.
struct ScriptedRegistry : lan::RemoteRegistry {
  DWORD next = NO_ERROR;
  int calls = 0;
  DWORD OpenKey(KeyId, std::u16string_view, REGSAM, KeyId& key) override {
    key = 7;
    return ++calls, next;
  }
  DWORD EnumKey(KeyId, DWORD, std::u16string&, FILETIME&) override { return ++calls, next; }
  DWORD QueryValue(KeyId, std::u16string_view, bool, DWORD&, DWORD&, std::string&) override { return ++calls, next; }
  DWORD QueryKeyFacts(KeyId, lan::KeyFacts&) override { return ++calls, next; }
  DWORD CloseKey(KeyId) override { return ++calls, next; }
};

TEST(ReportingRegistryTest, ALostConnectionIsReportedOnceAndLaterCallsFailAtOnce) {
  auto scripted = std::make_unique<ScriptedRegistry>();
  ScriptedRegistry& inner = *scripted;
  std::ostringstream diagnostics;
  const auto registry =
      std::make_unique<ReportingRegistry>(std::move(scripted), u"BOREAS", HKEY_LOCAL_MACHINE, diagnostics);
  lan::RemoteRegistry::KeyId key = 0;
  std::u16string name;
  FILETIME written{};

  // The registry's own answers pass through; a key that cannot be opened
  // is named in full.
  inner.next = NO_ERROR;
  ASSERT_EQ(registry->OpenKey(0, u"Software", KEY_READ, key), NO_ERROR);
  inner.next = ERROR_FILE_NOT_FOUND;
  EXPECT_EQ(registry->OpenKey(key, u"Uninstall", KEY_READ, key), ERROR_FILE_NOT_FOUND);
  inner.next = ERROR_NO_MORE_ITEMS;
  EXPECT_EQ(registry->EnumKey(0, 3, name, written), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(diagnostics.str(),
            "kestrova: \\\\BOREAS: cannot open HKEY_LOCAL_MACHINE\\Software\\Uninstall (error 2: the key does not "
            "exist)\n");
  diagnostics.str("");

  inner.next = ERROR_BROKEN_PIPE;
  EXPECT_EQ(registry->EnumKey(0, 4, name, written), ERROR_BROKEN_PIPE);
  EXPECT_EQ(diagnostics.str(),
            "kestrova: \\\\BOREAS: the connection to the registry was lost (error 109: the pipe has been ended: the "
            "server closed the connection); the listing was cut short\n");
  const int calls = inner.calls;
  lan::KeyFacts facts;
  EXPECT_EQ(registry->QueryKeyFacts(0, facts), ERROR_BROKEN_PIPE);
  EXPECT_EQ(registry->OpenKey(0, u"Software", KEY_READ, key), ERROR_BROKEN_PIPE);
  EXPECT_EQ(registry->CloseKey(1), NO_ERROR);
  EXPECT_EQ(inner.calls, calls);
  EXPECT_EQ(diagnostics.str().find("cut short", diagnostics.str().find("cut short") + 1), std::string::npos);
}

}  // namespace
}  // namespace smb
