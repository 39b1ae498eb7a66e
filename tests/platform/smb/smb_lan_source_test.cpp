#include "platform/smb/smb_lan_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <latch>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "platform/lan/progress_report.h"
#include "platform/lan/utf16_text.h"
#include "platform/smb/discovery_sources.h"

namespace smb {
namespace {

using Kind = BrowseEntryKind;

// Browse lists from a script, by kind and name; counts the reads.
struct ScriptedBrowseLists : BrowseListReader {
  std::map<std::tuple<BrowseListKind, std::string>, std::vector<BrowseEntry>> lists;
  std::map<std::tuple<BrowseListKind, std::string>, DWORD> failures;
  int reads = 0;
  std::vector<std::string> shares_read;

  DWORD Read(BrowseListKind kind, std::string_view name, std::vector<BrowseEntry>& entries) override {
    ++reads;
    if (kind == BrowseListKind::kShares) shares_read.emplace_back(name);
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

// A discovery source that hands back what it is given, after a message of
// its own where it has one; one that throws where told to.
struct ScriptedSource : discovery::DiscoverySource {
  ScriptedSource(std::string name, std::vector<discovery::FoundComputer> found, std::string message = "",
                 bool keeps_order = false)
      : name(std::move(name)), found(std::move(found)), message(std::move(message)), keeps_order(keeps_order) {}

  std::string_view Name() const override { return name; }
  bool KeepsOrder() const override { return keeps_order; }
  std::vector<discovery::FoundComputer> Find(std::ostream& diagnostics) override {
    if (before) before();
    if (!message.empty()) diagnostics << "kestrova: " << message << "\n";
    if (throws) throw std::runtime_error("scripted failure");
    return found;
  }

  std::string name;
  std::vector<discovery::FoundComputer> found;
  std::string message;
  bool keeps_order = false;
  bool throws = false;
  std::function<void()> before;
};

using Sources = std::vector<std::unique_ptr<discovery::DiscoverySource>>;

// A pipe opener that records the computers it is asked for and opens none.
struct RecordingPipes : rpc::PipeOpener {
  explicit RecordingPipes(std::vector<std::u16string>& asked) : asked(asked) {}
  DWORD Open(std::u16string_view server, std::string_view, std::unique_ptr<rpc::MessagePipe>&) override {
    asked.emplace_back(server);
    return ERROR_BAD_NETPATH;
  }
  std::chrono::milliseconds CallTimeLimit() const override { return std::chrono::milliseconds(100); }
  std::vector<std::u16string>& asked;
};

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
  lists->lists[{BrowseListKind::kWorkgroups, ""}] = {{Kind::kWorkgroup, "OFFICE", ""}};
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
  lists->lists[{BrowseListKind::kWorkgroups, ""}] = {{Kind::kWorkgroup, "OFFICE", ""}};
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
  lists->lists[{BrowseListKind::kWorkgroups, ""}] = {{Kind::kWorkgroup, "O\x1b]0;x\a", ""}};
  lists->failures[{BrowseListKind::kServers, "O\x1b]0;x\a"}] = ERROR_BAD_NETPATH;
  std::ostringstream diagnostics;
  SmbLanSource source(SmbSettings{}, diagnostics, std::move(lists));
  std::string walk;
  Walk(source, nullptr, 0, 8, walk);
  EXPECT_EQ(walk, "Microsoft Windows Network +\n");
  std::unique_ptr<lan::RemoteRegistry> registry;
  EXPECT_EQ(source.ConnectRegistry(u"EVIL\x1b[2J", HKEY_LOCAL_MACHINE, registry), ERROR_BAD_NETPATH);
  EXPECT_EQ(diagnostics.str(),
            "kestrova: smb://O\\x1B]0;x\\x07/: cannot read the browse list (error 53: the network path was not found: "
            "the computer does not resolve, refuses or does not answer)\n"
            "kestrova: \\\\EVIL\\x1B[2J: cannot connect to the registry (error 53: the network path was not found: the "
            "computer does not resolve, refuses or does not answer)\n");
}

TEST(SmbLanSource, TheSourcesFindingsAreMergedIntoOneHierarchy) {
  using Found = std::vector<discovery::FoundComputer>;
  // The browse list as the browser gives it: LAB before OFFICE, ZED
  // before ATLAS.
  const Found browse = {{"LAB", "ZED", "", "zed"}, {"LAB", "ATLAS", "", ""}, {"OFFICE", "BOREAS", "", ""}};
  const Found wsd = {{"office", "atlas", "10.0.0.1", "from wsd"},
                     {"office", "cassini", "10.0.0.3", ""},
                     {"HOME", "Dorado", "10.0.0.4", ""},
                     {"Office", "Bart", "10.0.0.2", ""}};
  const Found hosts = {{"WORKGROUP", "zeta", "", ""}, {"WORKGROUP", "DORADO", "", ""}, {"WORKGROUP", "ALPHA", "", ""}};
  struct Case {
    const char* what;
    std::optional<std::string> only;
    std::size_t most;
    bool browse_fails;
    const char* walk;
    const char* messages;
  };
  const Case cases[] = {
      {"browse order first, then the rest by name ignoring case; each computer once, under its first source's "
       "container",
       std::nullopt, 100, false,
       "LAB\n \\\\ZED zed\n \\\\ATLAS from wsd\n"
       "OFFICE\n \\\\BOREAS\n \\\\Bart\n \\\\cassini\n"
       "HOME\n \\\\Dorado\n"
       "WORKGROUP\n \\\\ALPHA\n \\\\zeta\n",
       "kestrova: wsd says hello\n"},
      {"a failing source costs its message and its computers alone", std::nullopt, 100, true,
       "HOME\n \\\\Dorado\n"
       "office\n \\\\atlas from wsd\n \\\\Bart\n \\\\cassini\n"
       "WORKGROUP\n \\\\ALPHA\n \\\\zeta\n",
       "kestrova: the browse list failed (scripted failure); it finds nothing\nkestrova: wsd says hello\n"},
      {"narrowed to one container, in any case", "oFFice", 100, false,
       "OFFICE\n \\\\BOREAS\n \\\\atlas from wsd\n \\\\Bart\n \\\\cassini\n", "kestrova: wsd says hello\n"},
      {"the cap keeps the first computers found, the browse list's and then by container and name, and says so",
       std::nullopt, 4, false,
       "LAB\n \\\\ZED zed\n \\\\ATLAS from wsd\n"
       "OFFICE\n \\\\BOREAS\n"
       "HOME\n \\\\Dorado\n",
       "kestrova: wsd says hello\nkestrova: discovery found more than 4 computers; only the first 4 are listed\n"},
  };
  for (const Case& c : cases) {
    Sources sources;
    auto browse_source = std::make_unique<ScriptedSource>("the browse list", browse, "", true);
    browse_source->throws = c.browse_fails;
    sources.push_back(std::move(browse_source));
    sources.push_back(std::make_unique<ScriptedSource>("WS-Discovery", wsd, "wsd says hello"));
    sources.push_back(std::make_unique<ScriptedSource>("the host list", hosts));
    std::ostringstream diagnostics;
    SmbLanSource source(SmbSettings{}, diagnostics, std::make_shared<ScriptedBrowseLists>(), std::move(sources),
                        {c.only, c.most});
    std::unique_ptr<lan::BrowseLevel> network;
    std::string walk;
    lan::BrowseRecord network_record;
    network_record.DisplayType = RESOURCEDISPLAYTYPE_NETWORK;
    network_record.RemoteName = std::u16string(kProviderName);
    ASSERT_EQ(source.OpenLevel(&network_record, RESOURCETYPE_ANY, 0, network), NO_ERROR) << c.what;
    std::span<const lan::BrowseRecord> workgroups;
    while (network->Peek(1, workgroups) == NO_ERROR) {
      const lan::BrowseRecord workgroup = workgroups.front();
      network->Advance(1);
      walk += lan::Utf8FromUtf16(*workgroup.RemoteName) + "\n";
      std::unique_ptr<lan::BrowseLevel> servers;
      ASSERT_EQ(source.OpenLevel(&workgroup, RESOURCETYPE_ANY, 0, servers), NO_ERROR) << c.what;
      std::span<const lan::BrowseRecord> records;
      while (servers->Peek(1, records) == NO_ERROR) {
        walk += " " + lan::Utf8FromUtf16(*records.front().RemoteName) +
                (records.front().Comment ? " " + lan::Utf8FromUtf16(*records.front().Comment) : "") + "\n";
        servers->Advance(1);
      }
    }
    EXPECT_EQ(walk, c.walk) << c.what;
    EXPECT_EQ(diagnostics.str(), c.messages) << c.what;
  }
}

TEST(SmbLanSource, SourcesRunAtOnceAndTheirMessagesComeInTheirOrder) {
  // The first source finishes only once the second has: run one after
  // the other, the first would give up waiting.
  std::latch second_done(1);
  auto first = std::make_unique<ScriptedSource>("first", std::vector<discovery::FoundComputer>{}, "first");
  first->before = [&second_done, first = first.get()] {
    if (!second_done.try_wait()) {
      for (int i = 0; i < 500 && !second_done.try_wait(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!second_done.try_wait()) first->message = "first ran alone";
  };
  auto second = std::make_unique<ScriptedSource>("second", std::vector<discovery::FoundComputer>{}, "second");
  second->before = [&] { second_done.count_down(); };
  Sources sources;
  sources.push_back(std::move(first));
  sources.push_back(std::move(second));
  std::ostringstream diagnostics;
  SmbLanSource source(SmbSettings{}, diagnostics, std::make_shared<ScriptedBrowseLists>(), std::move(sources), {});
  std::string walk;
  Walk(source, nullptr, 0, 8, walk);
  EXPECT_EQ(diagnostics.str(), "kestrova: first\nkestrova: second\n");
}

TEST(SmbLanSource, RegistriesAndSharesAreReachedAtTheAddressDiscoveryFound) {
  Sources sources;
  sources.push_back(std::make_unique<ScriptedSource>(
      "the browse list", std::vector<discovery::FoundComputer>{{"LAB", "ATLAS", "", ""}}, "", true));
  sources.push_back(std::make_unique<ScriptedSource>(
      "WS-Discovery",
      std::vector<discovery::FoundComputer>{{"LAB", "atlas", "fe80::1%eth0", ""}, {"LAB", "BOREAS", "10.0.0.2", ""}}));
  sources.push_back(std::make_unique<ScriptedSource>(
      "the host list", std::vector<discovery::FoundComputer>{{"LAB", "ATLAS", "10.9.9.9", ""}}));
  std::vector<std::u16string> asked;
  auto lists = std::make_shared<ScriptedBrowseLists>();
  std::ostringstream diagnostics;
  // One computer at a time: the pipes asked for are those of the calls.
  SmbSettings settings;
  settings.ParallelComputers = 1;
  SmbLanSource source(settings, diagnostics, lists, std::move(sources), {}, std::make_unique<RecordingPipes>(asked));
  std::unique_ptr<lan::RemoteRegistry> registry;
  // Before discovery, and for a name that no source found, by name.
  EXPECT_EQ(source.ConnectRegistry(u"ATLAS", HKEY_LOCAL_MACHINE, registry), ERROR_BAD_NETPATH);
  std::string walk;
  Walk(source, nullptr, 0, 8, walk);
  EXPECT_EQ(source.ConnectRegistry(u"Atlas", HKEY_LOCAL_MACHINE, registry), ERROR_BAD_NETPATH);
  EXPECT_EQ(source.ConnectRegistry(u"CASSINI", HKEY_LOCAL_MACHINE, registry), ERROR_BAD_NETPATH);
  EXPECT_EQ(asked, (std::vector<std::u16string>{u"ATLAS", u"fe80::1%eth0", u"CASSINI"}));
  // The walk read both servers' shares at their addresses.
  EXPECT_EQ(lists->shares_read, (std::vector<std::string>{"fe80::1%eth0", "10.0.0.2"}));
  EXPECT_NE(diagnostics.str().find("kestrova: \\\\Atlas: cannot connect to the registry at fe80::1%eth0 (error 53"),
            std::string::npos)
      << diagnostics.str();
}

TEST(DiscoverySources, TheHostListRunsOnlyWhereItsWorkgroupIsShown) {
  discovery::DiscoverySettings choice;
  choice.Sources = {false, false, false, true};
  choice.Hosts.Hosts.push_back({"atlas", false});
  for (const auto& [only, runs] : std::vector<std::pair<std::optional<std::string>, bool>>{
           {std::nullopt, true}, {"workgroup", true}, {"LAB", false}}) {
    choice.OnlyContainer = only;
    std::ostringstream diagnostics;
    const auto sources = MakeDiscoverySources(choice, SmbSettings{}, std::make_shared<ScriptedBrowseLists>(),
                                              diagnostics, lan::NoProgressReport());
    EXPECT_EQ(sources.size(), runs ? 1u : 0u) << only.value_or("the whole network");
  }
}

}  // namespace
}  // namespace smb
