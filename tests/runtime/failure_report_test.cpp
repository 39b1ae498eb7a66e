// Failure reports as a user sees them: the test-only fault probe fails in
// each way the runtime knows, and the report, the runtime-error line and
// the exit code are checked byte for byte.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/binary_runner.h"

namespace {

using testing_support::OutputTarget;
using testing_support::RunBinary;
using testing_support::RunOptions;
using testing_support::RunResult;

RunResult Probe(std::vector<std::string> arguments, OutputTarget output = OutputTarget::Pipe,
                std::map<std::string, std::string> environment = {}) {
  RunOptions options;
  options.Arguments = std::move(arguments);
  options.Output = output;
  options.Environment = std::move(environment);
  return RunBinary(KESTROVA_FAULT_PROBE_PATH, options);
}

constexpr const char* kAddress = "[0-9A-F]{8}";
const std::string kPointer = "[0-9A-F]{" + std::to_string(2 * sizeof(void*)) + "}";

// The report's exact shape: the message is a regular expression.
void ExpectReport(const RunResult& result, const std::string& class_name, const std::string& message) {
  const std::regex shape("Exception " + class_name + " in module kestrova_fault_probe at " + kAddress + "\\.\r\n" +
                         message + "\r\n\r\n");
  EXPECT_TRUE(std::regex_match(result.Stderr, shape)) << result.Stderr;
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_EQ(result.Signal, 0);
}

TEST(FailureReportTest, EveryRuntimeErrorKindIsReportedWithItsClassAndMessage) {
  struct Case {
    int kind;
    const char* class_name;
    const char* message;
  };
  const Case cases[] = {
      {0, "EInOutError", "File access denied\\."},
      {1, "EOutOfMemory", "Out of memory\\."},
      {2, "EInvalidPointer", "Invalid pointer operation\\."},
      {3, "EDivByZero", "Division by zero\\."},
      {4, "ERangeError", "Range check error\\."},
      {5, "EIntOverflow", "Integer overflow\\."},
      {6, "EInvalidOp", "Invalid floating point operation\\."},
      {7, "EZeroDivide", "Floating point division by zero\\."},
      {8, "EOverflow", "Floating point overflow\\."},
      {9, "EUnderflow", "Floating point underflow\\."},
      {11, "EAccessViolation", "Access violation\\."},
      {12, "EPrivilege", "Privileged instruction\\."},
      {13, "EControlC", "Control-C hit\\."},
      {14, "EStackOverflow", "Stack overflow\\."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    ExpectReport(Probe({"kind", std::to_string(c.kind)}), c.class_name, c.message);
  }
}

TEST(FailureReportTest, ProcessorFaultsBecomeTheirErrorClasses) {
#if !defined(__x86_64__) && !defined(__i386__)
  GTEST_SKIP() << "the probe raises its faults with x86 instructions";
#endif
  ExpectReport(Probe({"write-null"}), "EAccessViolation",
               "Access violation at address " + kPointer + " in module 'kestrova_fault_probe'\\. Write of address " +
                   std::string(2 * sizeof(void*), '0') + "\\.");
  ExpectReport(Probe({"read-null"}), "EAccessViolation",
               "Access violation at address " + kPointer + " in module 'kestrova_fault_probe'\\. Read of address " +
                   std::string(2 * sizeof(void*), '0') + "\\.");
  ExpectReport(Probe({"divide"}), "EDivByZero", "Division by zero\\.");
  ExpectReport(Probe({"float-divide"}), "EZeroDivide", "Floating point division by zero\\.");
  ExpectReport(Probe({"illegal"}), "EExternalException", "External exception C000001D\\.");
  ExpectReport(Probe({"bus"}), "EExternalException", "External exception C0000006\\.");
  ExpectReport(Probe({"stack"}), "EStackOverflow", "Stack overflow\\.");
}

TEST(FailureReportTest, ThePeriodIsAddedOnlyWhereTheMessageLacksOne) {
  ExpectReport(Probe({"message", "Ends with a period."}), "Exception", "Ends with a period\\.");
  ExpectReport(Probe({"message", "Shouts!"}), "Exception", "Shouts!\\.");
  ExpectReport(Probe({"message", "(aside)"}), "Exception", "\\(aside\\)\\.");
  ExpectReport(Probe({"message", ""}), "Exception", "");
}

TEST(FailureReportTest, AReportIsCutAt1023CharactersAndStillEndsWithCrLf) {
  const RunResult result = Probe({"message", std::string(2000, 'm')});
  ASSERT_EQ(result.Stderr.size(), 1023u + 2u);
  EXPECT_EQ(result.Stderr.substr(1023), "\r\n");
  EXPECT_EQ(result.Stderr.substr(1013, 10), std::string(10, 'm'));
  EXPECT_EQ(result.ExitCode, 1);
}

TEST(FailureReportTest, LinesPrintedBeforeTheErrorComeOutAfterTheCleanUpAndBeforeTheReport) {
  for (OutputTarget output : {OutputTarget::Pipe, OutputTarget::File, OutputTarget::Terminal}) {
    const RunResult result = Probe({"print-then-raise", "gone"}, output);
    EXPECT_EQ(result.Stdout, "first line\r\nsecond line\r\n");
    ASSERT_EQ(result.Stderr.rfind("released\n", 0), 0u) << result.Stderr;
    const RunResult report_only{result.Stdout, result.Stderr.substr(9), result.ExitCode, result.Signal};
    ExpectReport(report_only, "Exception", "gone\\.");
  }
}

TEST(FailureReportTest, TheReportIsInTheOemCodePageAndNormalOutputIsNot) {
  // Under a single-byte locale the ANSI code page is 1252 and the OEM one
  // 850: e-acute is 0xE9 in the first and 0x82 in the second.
  const RunResult legacy = Probe({"echo-and-raise", "caf\xE9"}, OutputTarget::Pipe, {{"LC_ALL", "C"}});
  EXPECT_EQ(legacy.Stdout, "caf\xE9\r\n");
  ExpectReport(legacy, "Exception", "caf\x82\\.");
  // Under a UTF-8 locale both code pages are UTF-8 and nothing changes.
  const RunResult utf8 = Probe({"echo-and-raise", "caf\xC3\xA9"}, OutputTarget::Pipe, {{"LC_ALL", "C.UTF-8"}});
  EXPECT_EQ(utf8.Stdout, "caf\xC3\xA9\r\n");
  ExpectReport(utf8, "Exception", "caf\xC3\xA9\\.");
}

TEST(FailureReportTest, AReportOnATerminalShowsControlCharactersAsQuestionMarks) {
  RunOptions options;
  options.Arguments = {"message", "PC\x1B]0;owned\x07 \x1B[2J"};
  options.Output = OutputTarget::Terminal;
  options.ErrorsToTerminal = true;
  options.TimeLimitSeconds = 30;
  const RunResult result = RunBinary(KESTROVA_FAULT_PROBE_PATH, options);
  const RunResult report{"", result.Stdout, result.ExitCode, result.Signal};
  ExpectReport(report, "Exception", "PC\\?\\]0;owned\\? \\?\\[2J\\.");
}

TEST(FailureReportTest, AnErrorOutsideTheExceptionTreeIsReportedByItsClass) {
  ExpectReport(Probe({"foreign"}), "std::runtime_error", "");
}

TEST(FailureReportTest, WithoutErrorSupportTheRuntimeErrorLineEndsTheProcess) {
  struct Case {
    std::vector<std::string> arguments;
    std::string number;
    int exit_code;
  };
  const Case cases[] = {
      {{"before-kind", "3"}, "200", 200}, {{"before-kind", "14"}, "202", 202}, {{"before-kind", "0"}, "103", 103},
      {{"after-kind", "5"}, "215", 215},  {{"before-raise"}, "217", 217},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    const RunResult result = Probe(c.arguments);
    // 30 bytes, the zero byte included, then CR LF.
    const std::regex line("Runtime error " + c.number + " at [0-9A-F]{8}");
    ASSERT_EQ(result.Stdout.size(), 32u) << result.Stdout;
    EXPECT_TRUE(std::regex_match(result.Stdout.substr(0, 29), line)) << result.Stdout;
    EXPECT_EQ(result.Stdout.substr(29), std::string("\0\r\n", 3));
    EXPECT_EQ(result.Stderr, "");
    EXPECT_EQ(result.ExitCode, c.exit_code);
  }
}

TEST(FailureReportTest, TheLastWriteOfANormalEndFailingIsReported) {
  // 20 lines of 22 bytes: three blocks of 128 bytes leave with the lines,
  // the rest only at the end of the process.
  const RunResult full = Probe({"print", "20"}, OutputTarget::FullDevice);
  ExpectReport(full, "EInOutError", "I/O error 112\\.");
  const RunResult gone = Probe({"print", "20"}, OutputTarget::ReaderGone);
  ExpectReport(gone, "EInOutError", "I/O error 232\\.");
  const RunResult short_run = Probe({"print", "2"}, OutputTarget::FullDevice);
  ExpectReport(short_run, "EInOutError", "I/O error 112\\.");
}

TEST(FailureReportTest, ANormalEndWritesTheRestOfTheOutput) {
  const RunResult result = Probe({"print", "7"}, OutputTarget::File);
  std::string expected;
  for (int i = 0; i < 7; ++i) expected += "a line of the report\r\n";
  EXPECT_EQ(result.Stdout, expected);
  EXPECT_EQ(result.ExitCode, 0);
}

}  // namespace
