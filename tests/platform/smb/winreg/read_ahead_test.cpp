// The read-ahead on its own, against the in-memory winreg server: what it
// answers, and what it leaves for the caller to ask on its own pipe.
#include "platform/smb/winreg/read_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/fake_winreg_server.h"
#include "tests/support/uninstall_listing.h"

namespace {

using smbtest::FakeWinregServer;
using winreg::ReadAhead;

// A key that the registry refuses to the read-ahead's pipe is its answer
// to the open, not to the names asked for in the key, which the caller has
// open: those are dropped, for the caller to ask itself, and the refused
// key is not asked again. The pipe stays in step and reads the values that
// follow.
TEST(WinregReadAheadTest, AKeyThatItMayNotOpenCostsItsNamesAndNotTheReadAhead) {
  constexpr int kApplications = 5;
  FakeWinregServer server;
  server.AddApplications(kApplications);
  const std::u16string uninstall = testsupport::kUninstallPath;
  server.Keys[uninstall].Denied = true;
  ReadAhead read_ahead(server, u"PC1", HKEY_LOCAL_MACHINE, 1, 64);
  const auto application = [&](int index) {
    return uninstall + u"\\{App-" + std::u16string(1, static_cast<char16_t>(u'0' + index)) + u"}";
  };
  for (DWORD index = 0; index < 3; ++index) read_ahead.QueueEnum(uninstall, KEY_READ, index);
  for (int index = 0; index < kApplications; ++index)
    read_ahead.QueueValue(application(index), KEY_READ, u"DisplayName");
  // The root, the refused open, and an open and a query for each value;
  // waited for, so that no task is withdrawn by asking for it too early.
  constexpr std::uint64_t kCallsForEveryTask = 2 + 2 * kApplications;
  for (int wait = 0; wait < 5000 && server.CallsAnswered() < kCallsForEveryTask; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  int names = 0;
  for (DWORD index = 0; index < 3; ++index) {
    ReadAhead::EnumAnswer answer;
    names += read_ahead.TakeEnum(uninstall, KEY_READ, index, answer) ? 1 : 0;
  }
  int values = 0;
  for (int index = 0; index < kApplications; ++index) {
    ReadAhead::ValueAnswer answer;
    if (!read_ahead.TakeValue(application(index), KEY_READ, u"DisplayName", answer)) continue;
    ++values;
    EXPECT_EQ(answer.OpenStatus, static_cast<DWORD>(NO_ERROR));
  }
  EXPECT_EQ(names, 0);
  EXPECT_EQ(values, kApplications);
  // Every key opened for a value is closed at most once more.
  EXPECT_LE(read_ahead.CallCount(), kCallsForEveryTask + kApplications);
}

}  // namespace
