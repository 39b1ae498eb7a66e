// The status line's text: what it says in each phase, and how it is cut
// to the terminal's width by display width, with names made harmless.
#include "platform/standin/console/status_line_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using standin::StatusFacts;
using standin::StatusLineText;
using std::chrono::seconds;

StatusFacts Discovery(std::uint64_t found, seconds elapsed, std::string waiting = "", seconds left = seconds(0)) {
  StatusFacts facts;
  facts.ComputersFound = found;
  facts.Elapsed = elapsed;
  facts.WaitingFor = std::move(waiting);
  facts.WaitLeft = left;
  return facts;
}

StatusFacts Listing(std::uint64_t number, std::uint64_t found, std::string name, seconds elapsed = seconds(42)) {
  StatusFacts facts;
  facts.ComputerNumber = number;
  facts.ComputersFound = found;
  facts.ComputerName = std::move(name);
  facts.Elapsed = elapsed;
  return facts;
}

TEST(StatusLineTextTest, SaysWhereTheRunIsAndFitsTheTerminal) {
  struct Case {
    const char* what;
    StatusFacts facts;
    int columns;
    bool utf8;
    std::string text;
  };
  const Case cases[] = {
      {"discovery", Discovery(12, seconds(3)), 80, true, "discovering computers: 12 found (0:03)"},
      {"a source's wait", Discovery(0, seconds(0), "WS-Discovery replies", seconds(3)), 80, true,
       "discovering computers: 0 found (0:00), waiting for WS-Discovery replies: 3 s"},
      {"listing", Listing(3, 50, "\\\\ACCOUNTING-01"), 80, true, "listing computer 3 of 50 (0:42): \\\\ACCOUNTING-01"},
      {"more listed than found", Listing(7, 5, "\\\\X"), 80, true, "listing computer 7 (0:42): \\\\X"},
      {"minutes", Listing(1, 1, "A", seconds(61)), 80, true, "listing computer 1 of 1 (1:01): A"},
      {"hours", Listing(1, 1, "A", seconds(3 * 3600 + 5 * 60 + 9)), 80, true, "listing computer 1 of 1 (3:05:09): A"},
      // The last column stays free: 20 columns hold 19 characters.
      {"cut", Listing(3, 50, "\\\\ACCOUNTING-01"), 20, true, "listing computer 3 "},
      {"one column", Listing(3, 50, "A"), 1, true, ""},
      {"no column", Listing(3, 50, "A"), 0, true, ""},
      // Control characters, tabs and line ends of a name are '?', as a
      // terminal is sent them, one per byte; so are C1 and bytes that are
      // no UTF-8 (a cut-short character at the end included).
      {"controls", Listing(1, 1, "PC\x1B]0;x\x07\t\r\n"), 80, true, "listing computer 1 of 1 (0:42): PC?]0;x????"},
      {"C1 and broken UTF-8", Listing(1, 1, std::string("a\xC2\x9B") + "b\xFF" + "c\xE6\x97"), 80, true,
       "listing computer 1 of 1 (0:42): a??b?c??"},
      {"single bytes", Listing(1, 1, "\xE9\x9B\x1B"), 80, false, "listing computer 1 of 1 (0:42): \xE9??"},
      // Wide characters take two columns and are never split; a combining
      // mark takes none and stays with its letter; a character that takes
      // no place of its own (unassigned) is '?'.
      {"wide", Listing(1, 1, "\xE6\x97\xA5\xE6\x97\xA5"), 36, true, "listing computer 1 of 1 (0:42): \xE6\x97\xA5"},
      {"wide fits", Listing(1, 1, "\xE6\x97\xA5\xE6\x97\xA5"), 37, true,
       "listing computer 1 of 1 (0:42): \xE6\x97\xA5\xE6\x97\xA5"},
      {"combining", Listing(1, 1, std::string("e\xCC\x81") + "x"), 34, true,
       "listing computer 1 of 1 (0:42): e\xCC\x81"},
      {"unassigned", Listing(1, 1, "\xCD\xB8"), 80, true, "listing computer 1 of 1 (0:42): ?"},
      {"a source's wait made harmless", Discovery(1, seconds(0), "x\x1B[2J", seconds(1)), 80, true,
       "discovering computers: 1 found (0:00), waiting for x?[2J: 1 s"},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusLineText(c.facts, c.columns, c.utf8), c.text) << c.what;
}

}  // namespace
