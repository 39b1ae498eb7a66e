// The status line of a run on a terminal, the program run as a user runs
// it: shown on standard error's terminal while the run waits, erased
// before the failure report and at the end, never one byte of it on a
// file or a pipe, and turned off by its setting.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/binary_runner.h"
#include "tests/support/temporary_lan.h"
#include "tests/support/terminal_screen.h"

namespace {

using testing_support::DrawnStatusTexts;
using testing_support::ErrorTarget;
using testing_support::FinalScreen;
using testing_support::OutputTarget;
using testing_support::RunOptions;
using testing_support::RunResult;

constexpr int kComputers = 30;
constexpr int kApplications = 20;
constexpr unsigned short kColumns = 30;

// Holds standard output until the status line lists a computer.
bool LineListsAComputer(const std::string& errors) { return errors.find("listing computer ") != std::string::npos; }

// Holds standard output for a while (long enough for the line to be drawn
// twice, were it drawn), whatever standard error receives.
std::function<bool(const std::string&)> HoldForAWhile() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
  return [until](const std::string&) { return std::chrono::steady_clock::now() >= until; };
}

// A LAN whose report fills many pages, so that a held standard output
// holds up the run in the middle of the listing. The first computer's
// export has a line that is skipped with a message, written before the
// run is held; the display name of the `failing` computer's first
// application (none: 0) is a number, which ends the run with a failure
// report.
struct Lan {
  explicit Lan(int failing = 0) {
    for (int computer = 1; computer <= kComputers; ++computer) {
      const std::string name = "PC-" + std::string(computer < 10 ? "0" : "") + std::to_string(computer);
      const bool listed = failing == 0 || computer < failing;
      if (listed || computer == failing) report += "COMPUTER: " + name + "\r\n";
      std::string body;
      for (int application = 10; application < 10 + kApplications; ++application) {
        const std::string display_name = "Application " + std::to_string(application) + " of " + name;
        body += "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\app" +
                std::to_string(application) +
                "]\r\n\"DisplayName\"=" + (computer == failing ? "dword:00000001" : "\"" + display_name + "\"") +
                "\r\n\r\n";
        if (listed) report += " -> " + display_name + "\r\n";
      }
      if (listed) report += "\r\n";
      if (computer == 1) {
        body += "\"Broken\"=nonsense\r\n";
        messages = "kestrova: " + directory.Path() + "/" + name + ".reg:" + std::to_string(3 * kApplications + 3) +
                   ": unrecognised value data 'nonsense'; the line is skipped\n";
      }
      directory.Computer(name, body);
    }
  }

  testing_support::TemporaryLan directory;
  std::string report;
  std::string messages;
};

RunResult RunOver(const Lan& lan, RunOptions options, const std::string& setting = "on",
                  const std::string& terminal = "xterm") {
  options.Arguments = {"*"};
  options.Environment = {{"KESTROVA_LAN", lan.directory.Path()},
                         {"KESTROVA_PROGRESS", setting},
                         {"TERM", terminal},
                         {"LC_ALL", "C.UTF-8"}};
  options.TerminalColumns = kColumns;
  options.TimeLimitSeconds = 60;
  return testing_support::RunBinary(testing_support::KestrovaPath(), options);
}

TEST(ProgressLineTest, ShowsWhereTheRunIsAndIsGoneFromTheFinalScreen) {
  const Lan lan;
  RunOptions options;
  options.Errors = ErrorTarget::Terminal;
  options.HoldOutputUntil = LineListsAComputer;
  const RunResult result = RunOver(lan, options);
  EXPECT_EQ(result.Stdout, lan.report);
  EXPECT_EQ(result.ExitCode, 0);
  const std::vector<std::string> drawn = DrawnStatusTexts(result.Stderr);
  ASSERT_FALSE(drawn.empty()) << result.Stderr;
  // The computers found are the servers that discovery handed out.
  EXPECT_TRUE(std::regex_search(drawn.back(), std::regex("^listing computer [0-9]+ of 30 "))) << drawn.back();
  for (const std::string& text : drawn) {
    EXPECT_LT(text.size(), kColumns) << text;
    EXPECT_TRUE(text.rfind("listing computer ", 0) == 0 || text.rfind("discovering computers: ", 0) == 0) << text;
  }
  // The line was drawn when the run was held, and nothing came to
  // standard error after: only its erasure at the end clears it.
  EXPECT_EQ(FinalScreen(result.Stderr), lan.messages);
  EXPECT_EQ(testing_support::WithoutStatusLine(result.Stderr), lan.messages);
}

// The failure report goes to the terminal of the line, which was drawn
// when the run was held: the line is erased before it.
TEST(ProgressLineTest, TheFailureReportErasesTheLine) {
  const Lan lan(kComputers - 5);
  RunOptions options;
  options.Errors = ErrorTarget::Terminal;
  options.HoldOutputUntil = LineListsAComputer;
  const RunResult result = RunOver(lan, options);
  EXPECT_EQ(result.Stdout, lan.report);
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_FALSE(DrawnStatusTexts(result.Stderr).empty()) << result.Stderr;
  const std::regex screen(lan.messages +
                          "Exception ERegistryException in module kestrova at [0-9A-F]{8}\\.\n"
                          "Invalid data type for 'DisplayName'\\.\n");
  EXPECT_TRUE(std::regex_match(FinalScreen(result.Stderr), screen)) << result.Stderr;
}

// The report on the terminal of the line: the screen ends as it does
// without the line, and the report's bytes are whole around the line's.
TEST(ProgressLineTest, OnTheReportsOwnTerminalTheScreenEndsAsWithoutTheLine) {
  const Lan lan;
  RunOptions options;
  options.Output = OutputTarget::Terminal;
  options.ErrorsToTerminal = true;
  const RunResult with_line = RunOver(lan, options);
  const RunResult without_line = RunOver(lan, options, "off");
  EXPECT_EQ(without_line.Stdout.find('\x1B'), std::string::npos);
  EXPECT_EQ(FinalScreen(with_line.Stdout), FinalScreen(without_line.Stdout));
  EXPECT_EQ(testing_support::WithoutStatusLine(with_line.Stdout), without_line.Stdout);
  EXPECT_EQ(with_line.ExitCode, 0);
}

TEST(ProgressLineTest, ARedirectedStandardErrorGetsNotOneByteOfIt) {
  const Lan lan;
  struct Case {
    ErrorTarget errors;
    OutputTarget output;
  };
  const Case cases[] = {
      {ErrorTarget::Pipe, OutputTarget::Pipe},
      {ErrorTarget::File, OutputTarget::Pipe},
      {ErrorTarget::Pipe, OutputTarget::Terminal},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.Errors = c.errors;
    options.Output = c.output;
    if (c.output == OutputTarget::Pipe) options.HoldOutputUntil = HoldForAWhile();
    const RunResult result = RunOver(lan, options);
    EXPECT_EQ(result.Stderr, lan.messages);
    EXPECT_EQ(result.Stdout, lan.report);
  }
}

TEST(ProgressLineTest, TheSettingOrADumbTerminalTurnsItOff) {
  const Lan lan;
  struct Case {
    std::string setting;
    std::string terminal;
    bool shown;
    std::string message;
  };
  const Case cases[] = {
      {"off", "xterm", false, ""},
      {"on", "dumb", false, ""},
      {"maybe", "xterm", true,
       "kestrova: KESTROVA_PROGRESS=\"maybe\" is neither on nor off; the default, on, applies\n"},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.Errors = ErrorTarget::Terminal;
    options.HoldOutputUntil = c.shown ? std::function<bool(const std::string&)>(LineListsAComputer) : HoldForAWhile();
    const RunResult result = RunOver(lan, options, c.setting, c.terminal);
    EXPECT_EQ(DrawnStatusTexts(result.Stderr).empty(), !c.shown) << c.setting;
    EXPECT_EQ(FinalScreen(result.Stderr), c.message + lan.messages) << c.setting;
    EXPECT_EQ(result.Stdout, lan.report) << c.setting;
  }
}

}  // namespace
