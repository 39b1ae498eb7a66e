// The text of the status line that shows on a terminal where the run is
// (status_line.h): while discovery runs, how many computers it has found
// and what a LAN source waits for, with the seconds left; then the
// computer being listed, its number among those found, and its name. The
// time since the run began comes after the count:
//
//   discovering computers: 12 found (0:03), waiting for WS-Discovery replies: 3 s
//   listing computer 3 of 50 (0:42): \\ACCOUNTING-01
//
// Names come from outside: their control characters are shown as '?'
// (terminal_text.h; CR, LF and tab too, which would break the line), and
// so is a character that the terminal would not show in one place. The
// text fits a terminal `columns` wide with its last column to spare, so
// that the cursor never wraps; a character is counted by its display
// width (two columns for a wide one, none for a combining mark), and the
// text is cut at a character's start.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace standin {

struct StatusFacts {
  // The servers that discovery has handed out so far.
  std::uint64_t ComputersFound = 0;
  // The computer being listed, counted from 1; 0 while discovery runs.
  std::uint64_t ComputerNumber = 0;
  // Its name as the program gave it, in the ANSI code page.
  std::string ComputerName;
  // The time since the run began.
  std::chrono::seconds Elapsed{0};
  // What a LAN source waits for during discovery (empty: nothing), and
  // the seconds left.
  std::string WaitingFor;
  std::chrono::seconds WaitLeft{0};
};

// The line for a terminal `columns` wide that reads UTF-8 (`utf8`) or
// single bytes; empty when no column is to spare.
std::string StatusLineText(const StatusFacts& facts, int columns, bool utf8);

}  // namespace standin
