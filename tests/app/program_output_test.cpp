// The program run as a user runs it: the usage line, the empty inventory,
// and what becomes of its output on each kind of standard output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "tests/support/binary_runner.h"
#include "tests/support/temporary_lan.h"

namespace {

using testing_support::KestrovaPath;
using testing_support::OutputTarget;
using testing_support::RunBinary;
using testing_support::RunOptions;
using testing_support::RunResult;

const std::string kUsage = "Command line parameters: Kestrova.exe [ * | AppName]\r\n";

// Every run sees a LAN without computers.
class ProgramOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/kestrova-empty-lan-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    empty_lan_ = name;
    std::ofstream(empty_lan_ + "/lan.json") << "{ \"Children\": [] }\n";
  }
  void TearDown() override {
    unlink((empty_lan_ + "/lan.json").c_str());
    rmdir(empty_lan_.c_str());
  }

  RunResult Run(std::vector<std::string> arguments, OutputTarget output = OutputTarget::Pipe) {
    RunOptions options;
    options.Arguments = std::move(arguments);
    options.Output = output;
    options.Environment["KESTROVA_LAN"] = empty_lan_;
    return RunBinary(KestrovaPath(), options);
  }

  std::string empty_lan_;
};

// The failure report: the class, the module, 8 hexadecimal digits, then
// the message with its period, then an empty line.
void ExpectReport(const std::string& report, const std::string& class_name, const std::string& message) {
  const std::regex shape("Exception " + class_name + " in module kestrova at [0-9A-F]{8}\\.\r\n" + message +
                         "\\.\r\n\r\n");
  EXPECT_TRUE(std::regex_match(report, shape)) << report;
}

TEST_F(ProgramOutputTest, NoArgumentPrintsTheUsageLineOnEveryKindOfOutput) {
  for (OutputTarget output : {OutputTarget::Pipe, OutputTarget::File, OutputTarget::Terminal}) {
    const RunResult result = Run({}, output);
    EXPECT_EQ(result.Stdout, kUsage);
    EXPECT_EQ(result.Stderr, "");
    EXPECT_EQ(result.ExitCode, 0);
  }
}

TEST_F(ProgramOutputTest, ArgumentsThatSplitToNothingCountAsNone) {
  // An empty argument arrives as a pair of quotes, which yields no argument.
  EXPECT_EQ(Run({""}).Stdout, kUsage);
  EXPECT_EQ(Run({"", ""}).Stdout, kUsage);
  // A quoted space is an argument: the inventory runs, over an empty LAN.
  const RunResult spaced = Run({" "});
  EXPECT_EQ(spaced.Stdout, "");
  EXPECT_EQ(spaced.ExitCode, 0);
}

TEST_F(ProgramOutputTest, AnEmptyLanPrintsNothingAndEndsNormally) {
  for (OutputTarget output : {OutputTarget::Pipe, OutputTarget::Closed, OutputTarget::FullDevice}) {
    const RunResult result = Run({"*"}, output);
    EXPECT_EQ(result.Stdout, "");
    EXPECT_EQ(result.Stderr, "");
    EXPECT_EQ(result.ExitCode, 0);
  }
}

TEST_F(ProgramOutputTest, ClosedStandardOutputFailsAtTheFirstLine) {
  const RunResult result = Run({}, OutputTarget::Closed);
  ExpectReport(result.Stderr, "EInOutError", "I/O error 105");
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_EQ(result.Signal, 0);
}

TEST(ProgramOutputTerminalTest, ATerminalIsSentNoControlCharacterAndAPipeTheExactReport) {
  // The computer's name sets the window title, its application's name
  // clears the screen and carries CSI as a C1 character.
  testing_support::TemporaryLan lan;
  lan.Description(R"({ "CodePage": 65001,
                       "Children": [ { "Workgroup": "WG", "Children": [ "PC\u001b]0;owned\u0007" ] } ] })");
  lan.Computer("PC\x1B]0;owned\x07",
               "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\a]\r\n"
               "\"DisplayName\"=\"\x1B[2JWiped \xC2\x9BH \xC3\xA9\xE6\x97\xA5\xE2\x82\xAC\"\r\n\r\n");
  struct Case {
    const char* locale;
    OutputTarget output;
    std::string report;
  };
  const Case cases[] = {
      {"C.UTF-8", OutputTarget::Pipe,
       "COMPUTER: PC\x1B]0;owned\x07\r\n -> \x1B[2JWiped \xC2\x9BH \xC3\xA9\xE6\x97\xA5\xE2\x82\xAC\r\n\r\n"},
      {"C.UTF-8", OutputTarget::Terminal,
       "COMPUTER: PC?]0;owned?\r\n -> ?[2JWiped ??H \xC3\xA9\xE6\x97\xA5\xE2\x82\xAC\r\n\r\n"},
      // Code page 1252: no CSI, no U+65E5, the euro sign is 0x80.
      {"C", OutputTarget::Pipe, "COMPUTER: PC\x1B]0;owned\x07\r\n -> \x1B[2JWiped ?H \xE9?\x80\r\n\r\n"},
      {"C", OutputTarget::Terminal, "COMPUTER: PC?]0;owned?\r\n -> ?[2JWiped ?H \xE9??\r\n\r\n"},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.Arguments = {"*"};
    options.Output = c.output;
    options.Environment = {{"KESTROVA_LAN", lan.Path()}, {"LC_ALL", c.locale}};
    options.TimeLimitSeconds = 30;
    const RunResult result = RunBinary(KestrovaPath(), options);
    EXPECT_EQ(result.Stdout, c.report) << c.locale;
    EXPECT_EQ(result.Stderr, "") << c.locale;
    EXPECT_EQ(result.ExitCode, 0) << c.locale;
  }
}

// The reason why the SMB network cannot be used names the module's path:
// installed under a directory whose name clears the screen, beside a
// module that is no module, the program shows that name's ESC as \x1B.
TEST(ProgramOutputTerminalTest, AModuleThatCannotBeLoadedIsNamedWithItsControlCharactersVisible) {
  namespace fs = std::filesystem;
  testing_support::TemporaryLan place;
  const fs::path prefix = fs::path(place.Path()) / "p\x1B[2J";
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "lib" / "kestrova");
  fs::copy_file(KestrovaPath(), prefix / "bin" / "kestrova");
  std::ofstream(prefix / "lib" / "kestrova" / "kestrova-smb.so") << "no module";
  RunOptions options;
  options.Arguments = {"*"};
  options.Environment = {{"KESTROVA_LAN", "smb://"}};
  options.TimeLimitSeconds = 30;
  const RunResult result = RunBinary((prefix / "bin" / "kestrova").string(), options);
  EXPECT_EQ(result.Stdout, "");
  EXPECT_EQ(result.Stderr.find('\x1B'), std::string::npos) << result.Stderr;
  EXPECT_NE(result.Stderr.find("/p\\x1B[2J/lib/kestrova/kestrova-smb.so: "), std::string::npos) << result.Stderr;
  EXPECT_EQ(result.ExitCode, 0);
}

}  // namespace
