#include "platform/standin/lan/lan_selection.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "platform/lan/utf16_text.h"
#include "tests/support/temporary_lan.h"

namespace fs = std::filesystem;

namespace {

// The servers' remote names, in UTF-8, as a walk of a LAN source finds them.
void CollectServers(lan::LanSource& source, const lan::BrowseRecord* container, std::vector<std::string>& servers) {
  std::unique_ptr<lan::BrowseLevel> level;
  if (source.OpenLevel(container, RESOURCETYPE_ANY, 0, level) != NO_ERROR) return;
  std::span<const lan::BrowseRecord> records;
  while (level->Peek(0xFFFFFFFF, records) == NO_ERROR) {
    const std::vector<lan::BrowseRecord> batch(records.begin(), records.end());
    level->Advance(static_cast<DWORD>(batch.size()));
    for (const lan::BrowseRecord& record : batch) {
      if (record.DisplayType == RESOURCEDISPLAYTYPE_SERVER) servers.push_back(lan::Utf8FromUtf16(*record.RemoteName));
      if (record.Usage & RESOURCEUSAGE_CONTAINER) CollectServers(source, &record, servers);
    }
  }
}

std::vector<std::string> ServersOf(lan::LanSource& source) {
  std::vector<std::string> servers;
  CollectServers(source, nullptr, servers);
  return servers;
}

TEST(LanSelectionTest, EnvironmentNamesTheDirectoryOrFallsBackToTheSample) {
  const testing_support::TemporaryLan lan;
  lan.Write("ATLAS.reg", "REGEDIT4\r\n");
  const fs::path directory = lan.Path();
  const char* before = std::getenv(standin::kLanVariable);
  const std::string saved = before == nullptr ? "" : before;

  std::ostringstream messages;
  setenv(standin::kLanVariable, directory.c_str(), 1);
  EXPECT_EQ(ServersOf(*standin::OpenLanFromEnvironment(messages)), std::vector<std::string>{"\\\\ATLAS"});

  setenv(standin::kLanVariable, (directory / "missing").c_str(), 1);
  EXPECT_TRUE(ServersOf(*standin::OpenLanFromEnvironment(messages)).empty());
  EXPECT_NE(messages.str().find((directory / "missing").string()), std::string::npos) << messages.str();

  unsetenv(standin::kLanVariable);
  EXPECT_EQ(ServersOf(*standin::OpenLanFromEnvironment(messages)).size(), 6u);

  if (before != nullptr) setenv(standin::kLanVariable, saved.c_str(), 1);
}

}  // namespace
