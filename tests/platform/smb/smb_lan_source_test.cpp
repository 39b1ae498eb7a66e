#include "platform/smb/smb_lan_source.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <tuple>

#include "platform/lan/utf16_text.h"

namespace smb {
namespace {

using Kind = BrowseEntryKind;

// Browse lists from a script, by kind and name; counts the reads.
struct ScriptedBrowseLists : BrowseListReader {
  std::map<std::tuple<BrowseListKind, std::string>, std::vector<BrowseEntry>> lists;
  std::map<std::tuple<BrowseListKind, std::string>, DWORD> failures;
  int reads = 0;

  DWORD Read(BrowseListKind kind, std::string_view name, std::vector<BrowseEntry>& entries) override {
    ++reads;
    entries.clear();
    const auto key = std::make_tuple(kind, std::string(name));
    if (const auto failure = failures.find(key); failure != failures.end()) return failure->second;
    if (const auto list = lists.find(key); list != lists.end()) entries = list->second;
    return NO_ERROR;
  }
};

// Walks as the program does (every container, depth first) and writes one
// line per record, indented by depth; stops descending at `bound` levels.
void Walk(lan::LanSource& source, const lan::BrowseRecord* container, int depth, int bound, std::string& out) {
  std::unique_ptr<lan::BrowseLevel> level;
  if (depth >= bound || source.OpenLevel(container, RESOURCETYPE_ANY, 0, level) != NO_ERROR) return;
  std::span<const lan::BrowseRecord> records;
  while (level->Peek(1, records) == NO_ERROR) {
    const lan::BrowseRecord record = records.front();
    level->Advance(1);
    out += std::string(depth * 2, ' ') +
           lan::Utf8FromUtf16(record.RemoteName.value_or(u""), lan::Undecodable::kReplaced) +
           ((record.Usage & RESOURCEUSAGE_CONTAINER) != 0 ? " +" : "") + "\n";
    if ((record.Usage & RESOURCEUSAGE_CONTAINER) != 0) Walk(source, &record, depth + 1, bound, out);
  }
}

// A workgroup's record, as a level of the network lists it.
lan::BrowseRecord Workgroup(std::u16string name) {
  lan::BrowseRecord workgroup;
  workgroup.DisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
  workgroup.RemoteName = std::move(name);
  return workgroup;
}

TEST(SmbLanSource, AHostNamedAsItsWorkgroupListsOnlyShares) {
  auto lists = std::make_unique<ScriptedBrowseLists>();
  // OFFICE is a workgroup and a host of it; libsmbclient answers the host's
  // share list with the workgroup's servers. Every list also holds
  // entries of the wrong kinds.
  const std::vector<BrowseEntry> office_servers = {
      {Kind::kServer, "OFFICE", "a host named as its workgroup"},
      {Kind::kServer, "ATLAS", ""},
      {Kind::kWorkgroup, "OFFICE", ""},
  };
  lists->lists[{BrowseListKind::kWorkgroups, ""}] = {{Kind::kWorkgroup, "OFFICE", ""}, {Kind::kServer, "ATLAS", ""}};
  lists->lists[{BrowseListKind::kServers, "OFFICE"}] = office_servers;
  lists->lists[{BrowseListKind::kShares, "OFFICE"}] = office_servers;
  lists->lists[{BrowseListKind::kShares, "ATLAS"}] = {
      {Kind::kDiskShare, "public", "files"}, {Kind::kDiskShare, "C$", ""}, {Kind::kWorkgroup, "LAB", ""}};
  std::ostringstream diagnostics;
  SmbLanSource source(SmbSettings{}, diagnostics, std::move(lists));
  std::string walk;
  Walk(source, nullptr, 0, 8, walk);
  EXPECT_EQ(walk,
            "Microsoft Windows Network +\n"
            "  OFFICE +\n"
            "    \\\\OFFICE +\n"
            "    \\\\ATLAS +\n"
            "      \\\\ATLAS\\public\n");
  EXPECT_EQ(diagnostics.str(), "");
}

TEST(SmbLanSource, NamesAndCommentsLongerThanWindowsAllowsAreLeftOut) {
  auto lists = std::make_unique<ScriptedBrowseLists>();
  const std::string longest(kMaxBrowseNameBytes, 'N');
  lists->lists[{BrowseListKind::kServers, "OFFICE"}] = {
      {Kind::kServer, longest + "N", ""},
      {Kind::kServer, longest, std::string(kMaxBrowseCommentBytes + 1, 'c')},
      {Kind::kServer, "ATLAS", std::string(kMaxBrowseCommentBytes, 'c')},
  };
  SmbLanSource source(SmbSettings{}, std::cerr, std::move(lists));
  const lan::BrowseRecord workgroup = Workgroup(u"OFFICE");
  std::unique_ptr<lan::BrowseLevel> level;
  ASSERT_EQ(source.OpenLevel(&workgroup, RESOURCETYPE_ANY, 0, level), NO_ERROR);
  std::span<const lan::BrowseRecord> records;
  ASSERT_EQ(level->Peek(10, records), NO_ERROR);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].RemoteName, u"\\\\" + lan::Utf16FromUtf8(longest));
  EXPECT_FALSE(records[0].Comment);
  EXPECT_EQ(records[1].Comment->size(), kMaxBrowseCommentBytes);
}

TEST(SmbLanSource, ABrowseListThatIsCutSaysSo) {
  auto lists = std::make_unique<ScriptedBrowseLists>();
  std::vector<BrowseEntry>& servers = lists->lists[{BrowseListKind::kServers, "OFFICE"}];
  for (std::size_t i = 0; i <= kMaxBrowseEntries; ++i) servers.push_back({Kind::kServer, "PC" + std::to_string(i), ""});
  std::ostringstream diagnostics;
  SmbLanSource source(SmbSettings{}, diagnostics, std::move(lists));
  const lan::BrowseRecord workgroup = Workgroup(u"OFFICE");
  std::unique_ptr<lan::BrowseLevel> level;
  ASSERT_EQ(source.OpenLevel(&workgroup, RESOURCETYPE_ANY, 0, level), NO_ERROR);
  std::size_t count = 0;
  std::span<const lan::BrowseRecord> records;
  while (level->Peek(4096, records) == NO_ERROR) {
    count += records.size();
    level->Advance(static_cast<DWORD>(records.size()));
  }
  EXPECT_EQ(count, kMaxBrowseEntries);
  EXPECT_EQ(diagnostics.str(),
            "kestrova: smb://OFFICE/: the browse list holds more than 65536 entries; only the first 65536 are read\n");
}

TEST(SmbLanSource, ARefusedCredentialsFileLeavesAnEmptyNetworkAndConnectsNothing) {
  auto lists = std::make_unique<ScriptedBrowseLists>();
  const ScriptedBrowseLists& read = *lists;
  SmbSettings settings;
  settings.CredentialsRefused = true;
  std::ostringstream diagnostics;
  SmbLanSource source(settings, diagnostics, std::move(lists));
  std::unique_ptr<lan::BrowseLevel> level;
  EXPECT_EQ(source.OpenLevel(nullptr, RESOURCETYPE_ANY, 0, level), ERROR_NO_NETWORK);
  const lan::BrowseRecord workgroup = Workgroup(u"OFFICE");
  EXPECT_EQ(source.OpenLevel(&workgroup, RESOURCETYPE_ANY, 0, level), ERROR_NO_NETWORK);
  std::unique_ptr<lan::RemoteRegistry> registry;
  EXPECT_EQ(source.ConnectRegistry(u"ATLAS", HKEY_LOCAL_MACHINE, registry), ERROR_NO_NETWORK);
  EXPECT_EQ(read.reads, 0);
  EXPECT_EQ(diagnostics.str(), "");
}

TEST(SmbLanSource, MessagesShowTheControlCharactersOfNamesFromTheNetwork) {
  auto lists = std::make_unique<ScriptedBrowseLists>();
  lists->failures[{BrowseListKind::kServers, "O\x1b]0;x\a"}] = ERROR_BAD_NETPATH;
  std::ostringstream diagnostics;
  SmbLanSource source(SmbSettings{}, diagnostics, std::move(lists));
  const lan::BrowseRecord workgroup = Workgroup(u"O\x1b]0;x\a");
  std::unique_ptr<lan::BrowseLevel> level;
  EXPECT_EQ(source.OpenLevel(&workgroup, RESOURCETYPE_ANY, 0, level), ERROR_BAD_NETPATH);
  std::unique_ptr<lan::RemoteRegistry> registry;
  EXPECT_EQ(source.ConnectRegistry(u"EVIL\x1b[2J", HKEY_LOCAL_MACHINE, registry), ERROR_BAD_NETPATH);
  EXPECT_EQ(diagnostics.str(),
            "kestrova: smb://O\\x1B]0;x\\x07/: cannot read the browse list (error 53: the network path was not found: "
            "the computer does not resolve, refuses or does not answer)\n"
            "kestrova: \\\\EVIL\\x1B[2J: cannot connect to the registry (error 53: the network path was not found: the "
            "computer does not resolve, refuses or does not answer)\n");
}

}  // namespace
}  // namespace smb
