// Runs a built program as a user would, with its standard output sent
// where the test says, and collects what it wrote and how it ended.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

enum class OutputTarget {
  Pipe,        // a pipe read until the program ends
  File,        // a regular file
  Terminal,    // a pseudo-terminal in raw mode
  Closed,      // descriptor 1 closed
  FullDevice,  // /dev/full: every write fails with ENOSPC
  ReaderGone,  // a pipe whose reader has gone before the program writes
};

enum class ErrorTarget {
  Pipe,      // a pipe read until the program ends
  File,      // a regular file
  Terminal,  // a pseudo-terminal of its own in raw mode
};

struct RunOptions {
  std::vector<std::string> Arguments;
  OutputTarget Output = OutputTarget::Pipe;
  // Added to (or replacing in) the test's own environment.
  std::map<std::string, std::string> Environment;
  // Standard error goes to the same terminal as standard output (Terminal
  // only); what it writes is then read as Stdout.
  bool ErrorsToTerminal = false;
  // Where standard error goes otherwise.
  ErrorTarget Errors = ErrorTarget::Pipe;
  // The width of the terminals, in columns; 0 leaves it untold.
  unsigned short TerminalColumns = 0;
  // With Output Pipe: standard output is not read until this returns true
  // for what standard error has received so far (asked whenever it
  // receives more, and at least ten times a second). Its pipe then holds
  // one page, so that the program soon waits for the test.
  std::function<bool(const std::string& errors)> HoldOutputUntil;
  // A program that has not ended after this long is killed (Signal 9).
  int TimeLimitSeconds = 60;
};

struct RunResult {
  std::string Stdout;
  std::string Stderr;
  int ExitCode = -1;  // -1 when the program was killed by a signal
  int Signal = 0;
};

RunResult RunBinary(const std::string& path, const RunOptions& options);

// The path of the kestrova executable under test.
std::string KestrovaPath();

}  // namespace testing_support
