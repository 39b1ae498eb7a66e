// Runs a built program as a user would, with its standard output sent
// where the test says, and collects what it wrote and how it ended.
#pragma once

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

struct RunOptions {
  std::vector<std::string> Arguments;
  OutputTarget Output = OutputTarget::Pipe;
  // Added to (or replacing in) the test's own environment.
  std::map<std::string, std::string> Environment;
  // Standard error goes to the same terminal as standard output (Terminal
  // only); what it writes is then read as Stdout.
  bool ErrorsToTerminal = false;
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
