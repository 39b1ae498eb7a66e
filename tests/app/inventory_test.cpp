// The whole inventory as a user runs it: small LANs written by each test,
// the program's standard output compared byte for byte, CR LF included.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "platform/export/reg_file.h"
#include "tests/support/binary_runner.h"
#include "tests/support/temporary_lan.h"

namespace {

using testing_support::KestrovaPath;
using testing_support::RunBinary;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::TemporaryLan;

// One uninstall entry of a REGEDIT4 export: the subkey, then its values.
std::string Entry(const std::string& subkey, const std::string& values) {
  return "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + subkey + "]\r\n" + values +
         "\r\n\r\n";
}

std::string Named(const std::string& subkey, const std::string& display_name) {
  return Entry(subkey, "\"DisplayName\"=\"" + display_name + "\"");
}

// A description whose one workgroup holds the given servers, in order.
std::string Workgroup(const std::string& servers, const std::string& rest = "") {
  return "{ \"Children\": [ { \"Workgroup\": \"WORKGROUP\", \"Children\": [" + servers + "] } ]" + rest + " }";
}

RunResult Inventory(const TemporaryLan& lan, std::vector<std::string> arguments) {
  RunOptions options;
  options.Arguments = std::move(arguments);
  options.Environment["KESTROVA_LAN"] = lan.Path();
  options.Environment["LC_ALL"] = "C.UTF-8";
  return RunBinary(KestrovaPath(), options);
}

void ExpectOutput(const RunResult& result, const std::string& expected) {
  EXPECT_EQ(result.Stdout, expected);
  EXPECT_EQ(result.Stderr, "");
  EXPECT_EQ(result.ExitCode, 0);
}

TEST(InventoryTest, ComputersInWalkOrderApplicationsInRegistryOrder) {
  TemporaryLan lan;
  lan.Description(Workgroup("\"ZULU\", \"ALPHA\", \"MIKE\""));
  // Subkeys come in the registry's order: by name, ignoring case.
  lan.Computer("ZULU", Named("b-key", "Beta") + Named("A-key", "Alpha") + Named("c", "Gamma"));
  lan.Computer("ALPHA", Named("only", "Solo"));
  // MIKE has no registry to connect: its block is empty.
  ExpectOutput(Inventory(lan, {"*"}),
               "COMPUTER: ZULU\r\n -> Alpha\r\n -> Beta\r\n -> Gamma\r\n\r\n"
               "COMPUTER: ALPHA\r\n -> Solo\r\n\r\n"
               "COMPUTER: MIKE\r\n\r\n");
}

TEST(InventoryTest, DuplicatesAreReportedAsOftenAsTheyAreFound) {
  TemporaryLan lan;
  lan.Description(
      "{ \"Children\": [ { \"Workgroup\": \"ONE\", \"Children\": [\"PC\"] },"
      " { \"Workgroup\": \"TWO\", \"Children\": [\"PC\"] } ] }");
  lan.Computer("PC", Named("a", "Viewer") + Named("b", "Viewer"));
  const std::string block = "COMPUTER: PC\r\n -> Viewer\r\n -> Viewer\r\n\r\n";
  ExpectOutput(Inventory(lan, {"*"}), block + block);
}

TEST(InventoryTest, ComputersThatCannotBeReadListNothing) {
  TemporaryLan lan;
  lan.Description(Workgroup(
      "\"DOWN\", \"LOCKED\", \"PARTLY\", \"GOOD\"",
      ", \"Computers\": { \"DOWN\": { \"ConnectError\": 53 },"
      " \"LOCKED\": { \"DeniedKeys\": [\"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\"] },"
      " \"PARTLY\": { \"DeniedKeys\": [\"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\b\"] } }"));
  lan.Computer("DOWN", Named("a", "Never"));
  lan.Computer("LOCKED", Named("a", "Never"));
  lan.Computer("PARTLY", Named("a", "Open") + Named("b", "Refused") + Named("c", "Also open"));
  lan.Computer("GOOD", Named("a", "Fine"));
  ExpectOutput(Inventory(lan, {"*"}),
               "COMPUTER: DOWN\r\n\r\nCOMPUTER: LOCKED\r\n\r\n"
               "COMPUTER: PARTLY\r\n -> Open\r\n -> Also open\r\n\r\n"
               "COMPUTER: GOOD\r\n -> Fine\r\n\r\n");
}

// The lines of standard error, sorted: the order in which a computer's
// lines are reported depends on when they are read.
std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(InventoryTest, ExportsAreReadAsWindowsImportsThemAndSkippedLinesReported) {
  const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  TemporaryLan lan;
  lan.Description(Workgroup("\"MIXED\", \"FLOOD\", \"REFUSED\""));
  lan.Write("MIXED.reg",
            "REGEDIT4\r\n"
            "@echo off\r\n"
            "reg import %~f0\r\n"
            "\r\n" +
                key + "a]\r\n" +
                "\"DisplayName\"=\"First\"\r\n"
                "\"DisplayVersion\"=\"1.0\"#c\r\n"
                "junk line\r\n" +
                key + "a\\old]\r\n" + "[-" + key.substr(1) + "a\\old]\r\n" +
                "\"DisplayName\"=\"Gone with its key\"\r\n" + key + "b] trailing\r\n" +
                "\"DisplayName\"=\"Below a skipped key line\"\r\n" + key + "c]\r\n" +
                "\"Comments\"=hex(2):41,00,\\\r\n"
                "  42,00\r\n"
                "\"DisplayName\"=\"Third\"\r\n");
  std::string junk;
  for (int i = 0; i < 12; ++i) junk += "junk\r\n";
  lan.Computer("FLOOD", Named("a", "Flooded") + junk);
  lan.Write("REFUSED.reg", "@echo off\r\nREGEDIT4\r\n" + Named("a", "Never"));
  const RunResult result = Inventory(lan, {"*"});
  EXPECT_EQ(result.Stdout,
            "COMPUTER: MIXED\r\n -> First\r\n -> Third\r\n\r\n"
            "COMPUTER: FLOOD\r\n -> Flooded\r\n\r\n"
            "COMPUTER: REFUSED\r\n\r\n");
  const std::string mixed = "kestrova: " + lan.Path() + "/MIXED.reg:";
  std::vector<std::string> expected = {
      mixed + "2: line before the first key line; the line is skipped",
      mixed + "3: line before the first key line; the line is skipped",
      mixed + "7: unexpected text after the value; the line is skipped",
      mixed + "8: unrecognised line 'junk line'; the line is skipped",
      mixed + "12: unexpected text after the key line; the line and the values below it are skipped",
      "kestrova: " + lan.Path() + "/FLOOD.reg: 2 more lines skipped",
      "kestrova: " + lan.Path() + "/REFUSED.reg:1: " + regfile::kNotAnExportMessage,
  };
  for (int line = 6; line <= 15; ++line) {
    expected.push_back("kestrova: " + lan.Path() + "/FLOOD.reg:" + std::to_string(line) +
                       ": unrecognised line 'junk'; the line is skipped");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedLines(result.Stderr), expected) << result.Stderr;
  EXPECT_EQ(result.ExitCode, 0);
}

// An export file that is refused costs its own computer alone, with a
// message: a link to a large file that is no export (known by its first
// bytes), and an export larger than the limit (sparse: no disk is used).
TEST(InventoryTest, AnExportFileThatIsRefusedCostsItsComputerAlone) {
  TemporaryLan lan;
  lan.Description(Workgroup("\"HUGE\", \"TOOBIG\", \"GOOD\""));
  lan.Write("disk.img", "");
  std::filesystem::resize_file(lan.Path() + "/disk.img", std::uintmax_t{4} << 30);
  std::filesystem::create_symlink(lan.Path() + "/disk.img", lan.Path() + "/HUGE.reg");
  lan.Computer("TOOBIG", Named("a", "Never"));
  std::filesystem::resize_file(lan.Path() + "/TOOBIG.reg", (std::uintmax_t{1} << 30) + 1);
  lan.Computer("GOOD", Named("a", "Fine"));
  const RunResult result = Inventory(lan, {"*"});
  EXPECT_EQ(result.Stdout, "COMPUTER: HUGE\r\n\r\nCOMPUTER: TOOBIG\r\n\r\nCOMPUTER: GOOD\r\n -> Fine\r\n\r\n");
  EXPECT_EQ(result.Stderr, "kestrova: " + lan.Path() + "/HUGE.reg:1: " + regfile::kNotAnExportMessage + "\n" +
                               "kestrova: " + lan.Path() +
                               "/TOOBIG.reg: larger than 1 GiB, the most that is read of an export file; it is not "
                               "read\n");
  EXPECT_EQ(result.ExitCode, 0);
}

// REGEDIT4 text is decoded from the code page it was written in (1252
// unless the LAN says otherwise) and printed in the reader's.
TEST(InventoryTest, Regedit4ExportsAreReadInTheirCodePage) {
  TemporaryLan lan;
  lan.Description(Workgroup("\"WEST\", \"EAST\", \"JAPAN\", \"KOI\"",
                            ", \"CodePage\": 1251, \"Computers\": { \"WEST\": { \"CodePage\": 1252 },"
                            " \"JAPAN\": { \"CodePage\": 932 }, \"KOI\": { \"CodePage\": \"KOI8-R\" } }"));
  lan.Computer("WEST", Named("a", "Caf\xE9"));
  lan.Computer("EAST", Named("a", "\xCF\xF0\xE8\xE2\xE5\xF2"));
  // The second byte of U+8868 is a backslash alone: decoded, not parsed.
  lan.Computer("JAPAN", Named("a", "\x83\x65\x83\x58\x83\x67\x95\x5C"));
  lan.Computer("KOI", Named("a", "\xF0\xD2\xC9\xD7\xC5\xD4"));
  ExpectOutput(Inventory(lan, {"*"}),
               "COMPUTER: WEST\r\n -> Caf\xC3\xA9\r\n\r\n"
               "COMPUTER: EAST\r\n -> \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n\r\n"
               "COMPUTER: JAPAN\r\n -> \xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE8\xA1\xA8\r\n\r\n"
               "COMPUTER: KOI\r\n -> \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\r\n\r\n");

  // In the C locale the reader's code page is 1252: the bytes of a 1252
  // file come out as they are.
  TemporaryLan plain;
  plain.Computer("PC", Named("a", "Caf\xE9"));
  RunOptions options;
  options.Arguments = {"*"};
  options.Environment["KESTROVA_LAN"] = plain.Path();
  options.Environment["LC_ALL"] = "C";
  ExpectOutput(RunBinary(KestrovaPath(), options), "COMPUTER: PC\r\n -> Caf\xE9\r\n\r\n");
}

TEST(InventoryTest, NetworkFaultsCostOnlyTheLevelThatFails) {
  TemporaryLan lan;
  lan.Description(
      "{ \"Children\": [ { \"Network\": \"Net\", \"Children\": ["
      " { \"Workgroup\": \"CLOSED\", \"OpenError\": 5, \"Children\": [\"HIDDEN\"] },"
      " { \"Workgroup\": \"FLAKY\", \"MaxRecordsPerBatch\": 2, \"EnumError\": 1222, \"EnumErrorAfterBatches\": 1,"
      "   \"Children\": [\"F1\", \"F2\", \"F3\"] },"
      " { \"Workgroup\": \"BATCHED\", \"MaxRecordsPerBatch\": 2, \"Children\": [\"B1\", \"B2\", \"B3\", \"B4\", "
      "\"B5\"] }"
      " ] } ] }");
  std::string expected;
  for (const char* name : {"F1", "F2", "B1", "B2", "B3", "B4", "B5"}) {
    expected += std::string("COMPUTER: ") + name + "\r\n\r\n";
  }
  ExpectOutput(Inventory(lan, {"*"}), expected);

  TemporaryLan unreachable;
  unreachable.Description("{ \"OpenError\": 1222, \"Children\": [\"PC\"] }");
  ExpectOutput(Inventory(unreachable, {"*"}), "");
}

// In the C locale "\u03a9" reaches the program as "?", the name of the
// workgroup that holds it: opened by that name, it would hold itself.
TEST(InventoryTest, ContainerIsOpenedAsTheRecordHandedOutWhateverItsAnsiName) {
  TemporaryLan lan;
  lan.Description(
      "{ \"Children\": [ { \"Workgroup\": \"?\", \"Children\": [ { \"Workgroup\": \"\\u03a9\", "
      "\"Children\": [\"PC\"] } ] } ] }");
  lan.Computer("PC", Named("a", "App"));
  RunOptions options;
  options.Arguments = {"*"};
  options.Environment["KESTROVA_LAN"] = lan.Path();
  options.Environment["LC_ALL"] = "C";
  ExpectOutput(RunBinary(KestrovaPath(), options), "COMPUTER: PC\r\n -> App\r\n\r\n");
}

// A FIFO blocks whoever opens it to read until a writer comes: one in
// place of an export or of the description is reported and passed over.
TEST(InventoryTest, FifosInTheLanDirectoryAreReportedAndTheRestIsListed) {
  TemporaryLan lan;
  lan.Computer("PC1", Named("a", "App"));
  for (const char* name : {"PC2.reg", "lan.json"}) {
    ASSERT_EQ(mkfifo((lan.Path() + "/" + name).c_str(), 0600), 0);
  }
  const RunResult result = Inventory(lan, {"*"});
  EXPECT_EQ(result.Stdout, "COMPUTER: PC1\r\n -> App\r\n\r\n");
  EXPECT_EQ(SortedLines(result.Stderr),
            (std::vector<std::string>{
                "kestrova: " + lan.Path() + "/PC2.reg is a FIFO, not a regular file; it is left out",
                "kestrova: " + lan.Path() +
                    "/lan.json is a FIFO, not a regular file; the directory's plain layout is used instead",
            }));
  EXPECT_EQ(result.ExitCode, 0);
}

TEST(InventoryTest, OddServerNamesGiveEmptyComputerNames) {
  TemporaryLan lan;
  lan.Description(
      "{ \"Children\": [ { \"RemoteName\": \"\\\\\\\\\", \"DisplayType\": \"server\" },"
      " { \"RemoteName\": null, \"DisplayType\": \"server\" }, { \"RemoteName\": \"X\", \"DisplayType\": \"server\" },"
      " { \"RemoteName\": \"\\\\\\\\PC\", \"DisplayType\": \"share\" } ] }");
  ExpectOutput(Inventory(lan, {"*"}), "COMPUTER: \r\n\r\nCOMPUTER: \r\n\r\nCOMPUTER: \r\n\r\n");
}

TEST(InventoryTest, FiltersMatchSubstringsIgnoringTheCaseOfAToZOnly) {
  TemporaryLan lan;
  lan.Description(Workgroup("\"PC\""));
  // "Éditeur" and "éditeur" in code page 1252; the output is UTF-8.
  lan.Computer("PC", Named("1", "LibreOffice 7.6") + Named("2", "Microsoft Office Suite") + Named("3", "Off* Toys") +
                         Named("4",
                               "\xC9"
                               "diteur") +
                         Named("5",
                               "\xE9"
                               "diteur") +
                         Named("6", "Viewer"));
  const std::string upper_e = "\xC3\x89";
  const std::string lower_e = "\xC3\xA9";
  struct Case {
    std::string argument;
    std::string lines;
  };
  const Case cases[] = {
      {"*", " -> LibreOffice 7.6\r\n -> Microsoft Office Suite\r\n -> Off* Toys\r\n -> " + upper_e + "diteur\r\n -> " +
                lower_e + "diteur\r\n -> Viewer\r\n"},
      {"OFFICE", " -> LibreOffice 7.6\r\n -> Microsoft Office Suite\r\n"},
      {"off*", " -> Off* Toys\r\n"},
      {"**", ""},
      {lower_e, " -> " + lower_e + "diteur\r\n"},
      {upper_e + "DITEUR", " -> " + upper_e + "diteur\r\n"},
      {"viewer", " -> Viewer\r\n"},
      {"Viewer2", ""},
      {"Microsoft Office Suite and more", ""},
  };
  for (const Case& c : cases) {
    ExpectOutput(Inventory(lan, {c.argument}), "COMPUTER: PC\r\n" + c.lines + "\r\n");
  }
  // Only the first argument counts.
  ExpectOutput(Inventory(lan, {"viewer", "office"}), "COMPUTER: PC\r\n -> Viewer\r\n\r\n");
}

TEST(InventoryTest, EmptyDisplayNamesSkipOnlyTheirOwnSubkey) {
  TemporaryLan lan;
  lan.Description(Workgroup("\"PC\""));
  lan.Computer("PC", Named("a", "First") + Named("b", "") + Named("c", "Third") +
                         Entry("d", "\"DisplayName\"=hex(0):") + Entry("e", "\"DisplayName\"=hex:") +
                         Entry("f", "\"Publisher\"=\"no name\"") + Named("g", "Seventh"));
  ExpectOutput(Inventory(lan, {"*"}), "COMPUTER: PC\r\n -> First\r\n -> Third\r\n -> Seventh\r\n\r\n");
}

TEST(InventoryTest, TextValuesAreShownAsStored) {
  TemporaryLan lan;
  lan.Description(Workgroup("\"PC\""));
  lan.Computer("PC", Entry("a", "\"DisplayName\"=hex(2):25,41,50,50,25,20,54,6f,6f,6c,00") +
                         Entry("b", "\"DisplayName\"=hex(1):4e,6f,20,7a,65,72,6f") +
                         Entry("c", "\"DisplayName\"=hex(1):43,75,74,00,68,69,64,64,65,6e,00") +
                         Named("d", "Quote \\\" and \\\\ backslash"));
  ExpectOutput(Inventory(lan, {"*"}),
               "COMPUTER: PC\r\n -> %APP% Tool\r\n -> No zero\r\n -> Cut\r\n -> Quote \" and \\ backslash\r\n\r\n");
}

TEST(InventoryTest, ADisplayNameThatIsNoTextEndsTheRunWithAReport) {
  struct Case {
    std::string value;
    std::string faults;
    std::string message;
  };
  const Case cases[] = {
      {"dword:00000001", "", "Invalid data type for 'DisplayName'"},
      {"hex(7):41,00,00", "", "Invalid data type for 'DisplayName'"},
      {"hex:01,02", "", "Invalid data type for 'DisplayName'"},
      {"\"Vanishing\"",
       ", \"Computers\": { \"SECOND\": { \"FailingValues\": [ { \"Key\": "
       "\"Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\b\", \"Value\": \"DisplayName\" } ] } }",
       "Failed to get data for 'DisplayName'"},
      // Larger than a LAN source hands out.
      {"\"" + std::string(1 << 20, 'x') + "\"", "", "Failed to get data for 'DisplayName'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.substr(0, 40));
    TemporaryLan lan;
    lan.Description(Workgroup("\"FIRST\", \"SECOND\", \"THIRD\"", c.faults));
    lan.Computer("FIRST", Named("a", "One"));
    lan.Computer("SECOND", Named("a", "Two") + Entry("b", "\"DisplayName\"=" + c.value) + Named("c", "Never"));
    lan.Computer("THIRD", Named("a", "Never"));
    const RunResult result = Inventory(lan, {"*"});
    // The block of the computer being listed stays open; later ones are
    // not listed.
    EXPECT_EQ(result.Stdout, "COMPUTER: FIRST\r\n -> One\r\n\r\nCOMPUTER: SECOND\r\n -> Two\r\n");
    const std::regex report("Exception ERegistryException in module kestrova at [0-9A-F]{8}\\.\r\n" + c.message +
                            "\\.\r\n\r\n");
    EXPECT_TRUE(std::regex_match(result.Stderr, report)) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 1);
  }
}

}  // namespace

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(SampleLanInventoryTest, MatchesTheCheckedInReport) {
  RunOptions options;
  options.Arguments = {"*"};
  options.Environment["KESTROVA_LAN"] = std::string(KESTROVA_SOURCE_DIR) + "/examples/lan";
  options.Environment["LC_ALL"] = "C.UTF-8";
  const RunResult result = RunBinary(KestrovaPath(), options);
  EXPECT_EQ(result.Stdout, ReadFile(std::string(KESTROVA_SOURCE_DIR) + "/tests/app/golden/sample_lan_utf8.txt"));
  EXPECT_EQ(result.Stderr, "");
  EXPECT_EQ(result.ExitCode, 0);
}

}  // namespace

namespace {

// A report redirected where writes fail must not end as a success: the
// failure of the last write, made at the end of the run, is reported too.
TEST(InventoryOutputTest, AReportThatCannotBeWrittenEndsWithAnOutputError) {
  TemporaryLan lan;
  lan.Computer("PC", Named("a", "Short"));
  struct Case {
    testing_support::OutputTarget output;
    const char* message;
  };
  const Case cases[] = {
      {testing_support::OutputTarget::FullDevice, "I/O error 112"},
      {testing_support::OutputTarget::ReaderGone, "I/O error 232"},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.Arguments = {"*"};
    options.Output = c.output;
    options.Environment["KESTROVA_LAN"] = lan.Path();
    const RunResult result = RunBinary(KestrovaPath(), options);
    const std::regex report("Exception EInOutError in module kestrova at [0-9A-F]{8}\\.\r\n" + std::string(c.message) +
                            "\\.\r\n\r\n");
    EXPECT_TRUE(std::regex_match(result.Stderr, report)) << result.Stderr;
    EXPECT_EQ(result.ExitCode, 1);
  }
}

}  // namespace
