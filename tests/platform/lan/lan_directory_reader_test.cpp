#include "platform/lan/lan_directory_reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/inventory.h"
#include "platform/lan/directory_lan_source.h"
#include "platform/lan/lan_description.h"
#include "platform/lan/utf16_text.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/lan/lan_selection.h"
#include "platform/standin/locale/locale_control.h"
#include "platform/standin/network/network_control.h"
#include "tests/platform/lan/network_dump.h"

namespace fs = std::filesystem;

namespace {

using lan::Lan;
using testing_support::DumpComputers;
using testing_support::DumpNetwork;

// The names of the computers that the program's discovery finds in the
// LAN, through the Windows operations, in walk order. The LAN stays in
// use, for a test to look further.
std::vector<std::string> WalkServers(Lan lan) {
  static std::ostringstream diagnostics;
  diagnostics.str("");
  standin::UseLanForTesting(std::move(lan), diagnostics);
  TStringList computers;
  CollectLanComputers(computers);
  std::vector<std::string> servers;
  for (std::int32_t i = 0; i < computers.Count(); ++i) servers.push_back(computers.Get(i));
  EXPECT_EQ(standin::OpenEnumerationCount(), 0u);
  EXPECT_EQ(diagnostics.str(), "") << "a walk connects no registry";
  return servers;
}

std::vector<std::string> Names(const std::vector<lan::Computer>& computers) {
  std::vector<std::string> names;
  for (const lan::Computer& computer : computers) names.push_back(computer.Name);
  return names;
}

class LanDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrova-lan-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
    standin::UseEmptyLanForTesting();
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(directory_ / name, std::ios::binary) << text;
  }

  Lan Load() {
    std::ostringstream messages;
    Lan lan = lan::LoadLanDirectory(directory_, messages);
    messages_ = messages.str();
    return lan;
  }

  fs::path directory_;
  std::string messages_;
};

TEST_F(LanDirectoryTest, PlainDirectoryHasTheShapeThatWindowsShows) {
  Write("b-pc.reg", "REGEDIT4\r\n");
  Write("A-PC.reg", "REGEDIT4\r\n");
  Write("Zeta.REG", "REGEDIT4\r\n");
  Write("notes.txt", "");
  Write("lan.json.old", "{");
  Write(".reg", "");
  fs::create_directory(directory_ / "folder.reg");

  const Lan lan = Load();
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(DumpComputers(lan.Computers),
            (std::vector<std::string>{"A-PC file=A-PC.reg", "Zeta file=Zeta.REG", "b-pc file=b-pc.reg"}));
  EXPECT_EQ(lan.Computers[0].RegistryFile, directory_ / "A-PC.reg");
  EXPECT_EQ(DumpNetwork(lan.Top),
            (std::vector<std::string>{
                R"(network "Microsoft Windows Network" usage=2 provider="Microsoft Windows Network")",
                R"(  domain "WORKGROUP" usage=2 provider="Microsoft Windows Network")",
                R"(    server "\\A-PC" usage=2 provider="Microsoft Windows Network")",
                R"(    server "\\Zeta" usage=2 provider="Microsoft Windows Network")",
                R"(    server "\\b-pc" usage=2 provider="Microsoft Windows Network")",
            }));

  // Walked as the program walks it: the servers in byte order, each of
  // them a container that opens and holds nothing.
  EXPECT_EQ(WalkServers(lan), (std::vector<std::string>{"A-PC", "Zeta", "b-pc"}));
  NETRESOURCEA server{};
  server.dwUsage = RESOURCEUSAGE_CONTAINER;
  server.lpRemoteName = const_cast<char*>("\\\\Zeta");
  HANDLE handle = nullptr;
  ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &server, &handle), NO_ERROR);
  char buffer[512];
  DWORD count = 0xFFFFFFFF;
  DWORD size = sizeof buffer;
  EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer, &size), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(WNetCloseEnum(handle), NO_ERROR);
}

TEST_F(LanDirectoryTest, DescriptionAddsFaultsAndComputersToThePlainLayout) {
  Write("ATLAS.reg", "REGEDIT4\r\n");
  Write("BOREAS.reg", "REGEDIT4\r\n");
  Write("lan.json", R"({ "MaxRecordsPerBatch": 1,
    "Computers": { "atlas": { "ConnectError": 53, "DeniedKeys": ["Software"] }, "CASSINI": null } })");

  const Lan lan = Load();
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(DumpComputers(lan.Computers), (std::vector<std::string>{"ATLAS file=ATLAS.reg connect=53 denied=Software",
                                                                    "BOREAS file=BOREAS.reg", "CASSINI"}));
  EXPECT_EQ(lan.Top.MaxRecordsPerBatch, 1u);
  EXPECT_EQ(WalkServers(lan), (std::vector<std::string>{"ATLAS", "BOREAS", "CASSINI"}));
}

TEST_F(LanDirectoryTest, DescribedHierarchyReplacesThePlainLayout) {
  Write("ATLAS.reg", "REGEDIT4\r\n");
  Write("SHARED.reg", "REGEDIT4\r\n");
  Write("lan.json", R"({ "Children": [ { "Network": "Microsoft Windows Network", "Children": [
    { "Workgroup": "EAST", "MaxRecordsPerBatch": 1, "Children": [ "ATLAS", "SHARED" ] },
    { "Workgroup": "LOCKED", "OpenError": 5, "Children": [ "HIDDEN" ] },
    { "Workgroup": "WEST", "Children": [ "SHARED" ] } ] } ] })");

  const Lan lan = Load();
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(Names(lan.Computers), (std::vector<std::string>{"ATLAS", "SHARED"}));
  EXPECT_EQ(WalkServers(lan), (std::vector<std::string>{"ATLAS", "SHARED", "SHARED"}));
}

TEST_F(LanDirectoryTest, DescriptionThatIsNoJsonFallsBackToThePlainLayout) {
  Write("ATLAS.reg", "REGEDIT4\r\n");
  Write("lan.json", "{\n  \"Children\": [\n    \"ATLAS\",\n    \"BOREAS\"\n  \n");

  const Lan lan = Load();
  const std::string file = (directory_ / "lan.json").string();
  EXPECT_EQ(messages_.rfind("kestrova: " + file + ":6: ", 0), 0u) << messages_;
  EXPECT_EQ(std::count(messages_.begin(), messages_.end(), '\n'), 1) << messages_;
  EXPECT_EQ(WalkServers(lan), std::vector<std::string>{"ATLAS"});
}

// What a description is, is told on the file once it is open, without
// waiting for a FIFO's writer: anything but a regular file of at most
// 8 MiB is refused with one message, and the plain layout is used.
TEST_F(LanDirectoryTest, DescriptionThatIsNoFileToReadFallsBackToThePlainLayout) {
  struct Case {
    const char* what;
    void (*make)(const fs::path& file);
    const char* message;
  };
  const Case cases[] = {
      {"a directory", [](const fs::path& file) { fs::create_directory(file); }, " is a directory, not a regular file"},
      {"a FIFO", [](const fs::path& file) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); },
       " is a FIFO, not a regular file"},
      {"a device", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
       " is a device, not a regular file"},
      {"too large",
       [](const fs::path& file) {
         std::ofstream(file) << "{}";
         fs::resize_file(file, lan::kMaxDescriptionSize + 1);
       },
       " is larger than 8 MiB, the most that a description may hold"},
  };
  Write("ATLAS.reg", "REGEDIT4\r\n");
  const fs::path file = directory_ / "lan.json";
  for (const Case& c : cases) {
    fs::remove_all(file);
    c.make(file);
    const Lan lan = Load();
    EXPECT_EQ(messages_, "kestrova: " + file.string() + c.message + "; the directory's plain layout is used instead\n")
        << c.what;
    EXPECT_EQ(WalkServers(lan), std::vector<std::string>{"ATLAS"}) << c.what;
  }
}

// Files named like exports are judged the same way; a directory so named
// is passed over without a word.
TEST_F(LanDirectoryTest, ExportThatIsNoRegularFileIsReportedAndLeftOut) {
  Write("ATLAS.reg", "REGEDIT4\r\n");
  ASSERT_EQ(mkfifo((directory_ / "BOREAS.reg").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", directory_ / "CASSINI.reg");
  fs::create_symlink("nowhere", directory_ / "DEIMOS.reg");
  fs::create_directory(directory_ / "EUROPA.reg");
  const Lan lan = Load();
  std::vector<std::string> lines;
  std::istringstream stream(messages_);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  const std::string prefix = "kestrova: " + directory_.string() + "/";
  EXPECT_EQ(lines, (std::vector<std::string>{
                       prefix + "BOREAS.reg is a FIFO, not a regular file; it is left out",
                       prefix + "CASSINI.reg is a device, not a regular file; it is left out",
                       prefix + "DEIMOS.reg: cannot be opened (No such file or directory); it is left out",
                   }));
  EXPECT_EQ(Names(lan.Computers), std::vector<std::string>{"ATLAS"});
}

// Every message that quotes a name from outside shows its control
// characters as \xHH: a terminal would obey them (ESC ] 0 ; ... BEL sets
// its title, ESC [ 2 J clears it).
TEST_F(LanDirectoryTest, MessagesShowTheControlCharactersOfNamesTheyQuote) {
  struct Case {
    const char* what;
    const char* subdirectory;  // the LAN directory below the test's, if any
    const char* file;
    const char* contents;  // null: a FIFO
    const char* expected;
  };
  const Case cases[] = {
      {"a field of the description", "", "lan.json", R"({ "A\u001b]0;x\u0007": 1 })",
       "lan.json:1: unknown field \"A\\x1B]0;x\\x07\" at the top"},
      {"a value of the description", "", "lan.json", R"({ "Children": [ { "Server": "A", "Scope": "\u009b2J" } ] })",
       "unknown scope \"\\xC2\\x9B2J\""},
      {"a computer of the description", "", "lan.json", R"({ "Computers": { "B\u001b[2J": 1 } })",
       "computer \"B\\x1B[2J\" must be described"},
      {"a workgroup of a loop", "", "lan.json",
       R"({ "Children": [ { "Workgroup": "W\u001b", "Children": [ { "Workgroup": "w\u001b" } ] } ] })",
       "enumerating \"w\\x1B\" opens a container that encloses it"},
      {"the description's file name", "lan\x1b[31m", "lan.json", "[]", "lan\\x1B[31m/lan.json:1: the description"},
      {"a file that is no export", "", "PC\x1b.reg", nullptr, "PC\\x1B.reg is a FIFO"},
      {"the directory's name", "\x1b]0;x\x07", "notes.txt", "", "LAN directory "},
      {"an export's own message", "", "PC\x1b.reg", "junk", "PC\\x1B.reg:1: "},
  };
  for (const Case& c : cases) {
    const fs::path lan_directory = directory_ / c.subdirectory;
    fs::create_directories(lan_directory);
    const fs::path file = lan_directory / c.file;
    if (c.contents == nullptr) {
      ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    } else {
      std::ofstream(file, std::ios::binary) << c.contents;
    }
    std::ostringstream messages;
    // Every computer's registry is connected too, as the inventory does.
    const std::unique_ptr<lan::LanSource> source =
        standin::ServeLanModel(lan::LoadLanDirectory(lan_directory, messages), messages);
    for (const lan::Computer& computer : static_cast<lan::DirectoryLanSource&>(*source).Model().Computers) {
      std::unique_ptr<lan::RemoteRegistry> registry;
      source->ConnectRegistry(lan::Utf16FromUtf8(computer.Name), HKEY_LOCAL_MACHINE, registry);
    }
    const std::string said = messages.str();
    EXPECT_NE(said.find(c.expected), std::string::npos) << c.what << ": " << said;
    EXPECT_TRUE(std::none_of(said.begin(), said.end(),
                             [](char byte) { return (byte >= 0 && byte < 0x20 && byte != '\n') || byte == 0x7F; }))
        << c.what << ": " << said;
    fs::remove_all(c.subdirectory[0] == '\0' ? file : lan_directory);
  }
}

TEST_F(LanDirectoryTest, NetworkWhoseWalkWouldNotEndIsCutOrRefused) {
  Write("ATLAS.reg", "REGEDIT4\r\n");
  Write("lan.json",
        "{ \"Children\": [ { \"Workgroup\": \"W\", \"Children\": [\n"
        "  \"ATLAS\",\n"
        "  { \"Workgroup\": \"w\" } ] } ] }");
  Lan lan = Load();
  const std::string file = (directory_ / "lan.json").string();
  EXPECT_EQ(messages_, "kestrova: " + file +
                           ":3: enumerating \"w\" opens a container that encloses it, so the "
                           "walk would never end; the record is left out\n");
  EXPECT_EQ(WalkServers(lan), std::vector<std::string>{"ATLAS"});

  // Every level holds two records that open the next: 2^25 records.
  std::string doubling = "{ \"Children\": [ { \"Workgroup\": \"L25\" }";
  for (int i = 24; i >= 0; --i) {
    const std::string next = "\"L" + std::to_string(i + 1) + "\"";
    doubling += ", { \"Workgroup\": \"L" + std::to_string(i) + "\", \"Children\": [ { \"Workgroup\": " + next +
                " }, { \"Workgroup\": " + next + " } ] }";
  }
  Write("lan.json", doubling + " ] }");
  lan = Load();
  EXPECT_EQ(messages_, "kestrova: " + file +
                           ":1: a walk of this network would visit more than 1000000 records; "
                           "the directory's plain layout is used instead\n");
  EXPECT_EQ(WalkServers(lan), std::vector<std::string>{"ATLAS"});
}

TEST_F(LanDirectoryTest, DirectoryThatCannotBeReadGivesOneMessageAndAnEmptyLan) {
  Write("plain-file", "");
  for (const fs::path& path : {directory_ / "missing", directory_ / "plain-file"}) {
    std::ostringstream messages;
    const Lan lan = lan::LoadLanDirectory(path, messages);
    const std::string said = messages.str();
    EXPECT_EQ(said.rfind("kestrova: cannot read the LAN directory " + path.string() + ": ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    EXPECT_TRUE(lan.Computers.empty());
    EXPECT_TRUE(lan.Top.Children.empty());
  }
}

TEST_F(LanDirectoryTest, EmptyDirectoryIsSaidToHoldNoComputer) {
  const Lan lan = Load();
  EXPECT_NE(messages_.find("holds no .reg file"), std::string::npos) << messages_;
  EXPECT_TRUE(WalkServers(lan).empty());

  // A description that is refused is reported once, as what it is.
  Write("lan.json", "[]");
  Load();
  EXPECT_EQ(messages_, "kestrova: " + (directory_ / "lan.json").string() +
                           ":1: the description must be a JSON object, not an array; the directory's plain layout is "
                           "used instead\n");
}

TEST_F(LanDirectoryTest, NamesAreHandedOutInTheAnsiCodePage) {
  Write("Caf\xC3\xA9.reg", "REGEDIT4\r\n");
  Write("lan.json", R"({ "Computers": { "K\u00f6ln": { "DeniedKeys": ["Software\\Gr\u00fc\u00dfe"] } } })");
  standin::LocaleFacts facts;
  facts.AnsiCodePage = 1252;
  standin::SetLocaleFactsForTesting(facts);
  const Lan lan = Load();
  standin::SetLocaleFactsForTesting(standin::LocaleFacts{});

  EXPECT_EQ(messages_, "");
  // The LAN keeps the names in UTF-8; they reach the ANSI functions in
  // the code page.
  EXPECT_EQ(DumpComputers(lan.Computers), (std::vector<std::string>{"Caf\xC3\xA9 file=Caf\xC3\xA9.reg",
                                                                    "K\xC3\xB6ln denied=Software\\Gr\xC3\xBC\xC3\x9F"
                                                                    "e"}));
  standin::SetLocaleFactsForTesting(facts);
  EXPECT_EQ(WalkServers(lan), (std::vector<std::string>{"Caf\xE9", "K\xF6ln"}));
  standin::SetLocaleFactsForTesting(standin::LocaleFacts{});
}

// The sample LAN that a first run shows: its description reads without a
// mistake and gives two workgroups, one computer that cannot be reached,
// and registry exports of both formats.
TEST(SampleLanTest, ShowsTwoWorkgroupsAndAnUnreachableComputer) {
  const std::optional<fs::path> sample = standin::SampleLanDirectory();
  ASSERT_TRUE(sample);
  std::ostringstream messages;
  const Lan lan = lan::LoadLanDirectory(*sample, messages);
  EXPECT_EQ(messages.str(), "");

  EXPECT_EQ(WalkServers(lan), (std::vector<std::string>{"ACCOUNTING-01", "DESIGN-WS2", "FRONT-DESK", "MEETING-ROOM",
                                                        "LAB-BUILD", "LAB-OLDXP"}));
  EXPECT_EQ(DumpComputers(lan.Computers),
            (std::vector<std::string>{"ACCOUNTING-01 file=ACCOUNTING-01.reg", "DESIGN-WS2 file=DESIGN-WS2.reg",
                                      "FRONT-DESK file=FRONT-DESK.reg", "LAB-BUILD file=LAB-BUILD.reg",
                                      "LAB-OLDXP connect=53", "MEETING-ROOM file=MEETING-ROOM.reg"}));
}

TEST(SampleLanTest, RegistryExportsHaveTheRegistryEditorsFormats) {
  const std::optional<fs::path> sample = standin::SampleLanDirectory();
  ASSERT_TRUE(sample);
  auto read = [&](const char* name) {
    std::ifstream stream(*sample / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  };
  const std::string version5 = read("FRONT-DESK.reg");
  const std::string header = "Windows Registry Editor Version 5.00\r\n";
  std::string utf16_header = "\xFF\xFE";
  for (char c : header) utf16_header += std::string{c, '\0'};
  EXPECT_EQ(version5.rfind(utf16_header, 0), 0u);
  EXPECT_EQ(version5.size() % 2, 0u);
  EXPECT_NE(version5.find(std::string("f\0\xFC\0r\0", 6)), std::string::npos) << "a non-ASCII display name";

  for (const char* name : {"ACCOUNTING-01.reg", "DESIGN-WS2.reg", "LAB-BUILD.reg", "MEETING-ROOM.reg"}) {
    const std::string text = read(name);
    EXPECT_EQ(
        text.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n",
                   0),
        0u)
        << name;
    EXPECT_EQ(text.find_first_of(std::string("\0\x80", 2)), std::string::npos) << name;
  }
  EXPECT_NE(read("DESIGN-WS2.reg").find("\r\n\"DisplayName\"=\"\"\r\n"), std::string::npos);
}

// The complete example of the format's documentation reads without a
// mistake.
TEST(SampleLanTest, DocumentedExampleIsAValidDescription) {
  const std::optional<fs::path> sample = standin::SampleLanDirectory();
  ASSERT_TRUE(sample);
  std::ifstream stream(*sample / "README.md");
  const std::string readme((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  const std::size_t start = readme.find("```json\n");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = readme.find("```", start + 8);
  ASSERT_NE(end, std::string::npos);

  std::ostringstream messages;
  const auto description = lan::ParseLanDescription(readme.substr(start + 8, end - start - 8), "README.md", messages);
  ASSERT_TRUE(description);
  EXPECT_EQ(messages.str(), "");
  EXPECT_EQ(description->Top.Children.size(), 4u);
  EXPECT_EQ(description->Computers.size(), 3u);
}

}  // namespace
