// The status line on a pseudo-terminal: what each redraw sends, the
// output that erases it, the timer against writers on other threads, the
// messages' stream that keeps in step with it, and its setting.
#include "platform/standin/console/status_line.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/standin/console/message_buffer.h"
#include "platform/standin/console/program_status.h"
#include "tests/support/raw_terminal.h"
#include "tests/support/terminal_screen.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Both ends of a raw pseudo-terminal, closed at the end.
class Terminal {
 public:
  Terminal() { opened_ = testing_support::OpenRawTerminal(master_, terminal_); }
  ~Terminal() {
    close(terminal_);
    close(master_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool Opened() const { return opened_; }
  int Descriptor() const { return terminal_; }
  // What arrived since the last call.
  std::string Received() const {
    usleep(2000);
    return testing_support::ReadAvailable(master_);
  }
  void SetColumns(unsigned short columns) const {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    ioctl(master_, TIOCSWINSZ, &size);
  }
  // Reads until `done`, for a test whose writers would fill the terminal.
  std::string ReadUntil(const std::atomic<bool>& done) const {
    std::string bytes;
    while (!done.load()) bytes += testing_support::ReadAvailable(master_);
    return bytes + Received();
  }

 private:
  int master_ = -1;
  int terminal_ = -1;
  bool opened_ = false;
};

// Other output, written as the console writes it.
void Write(standin::StatusLine& line, int terminal, const std::string& bytes) {
  standin::StatusLine::Output output(line);
  EXPECT_EQ(write(terminal, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  output.Sent(bytes);
}

TEST(StatusLineTest, RedrawsOnlyWhatChangedAndNeverInsideOtherOutput) {
  Terminal terminal;
  ASSERT_TRUE(terminal.Opened());
  terminal.SetColumns(80);
  Clock::time_point now{};
  standin::StatusLine line(terminal.Descriptor(), true, [&now] { return now; });
  struct Step {
    const char* what;
    std::function<void()> act;
    std::string sent;
  };
  const int fd = terminal.Descriptor();
  const Step steps[] = {
      {"first draw", [] {}, "\rdiscovering computers: 0 found (0:00)\x1B[K"},
      {"unchanged", [] {}, ""},
      {"found", [&] { line.ComputersFound(2); }, "\rdiscovering computers: 2 found (0:00)\x1B[K"},
      {"a wait", [&] { line.Waiting("replies", now + milliseconds(2500)); },
       "\rdiscovering computers: 2 found (0:00), waiting for replies: 3 s\x1B[K"},
      {"counting down", [&] { now += milliseconds(1600); },
       "\rdiscovering computers: 2 found (0:01), waiting for replies: 1 s\x1B[K"},
      {"a wait past its time", [&] { now += seconds(1); }, "\rdiscovering computers: 2 found (0:02)\x1B[K"},
      {"a wait over",
       [&] {
         line.Waiting("replies", now + seconds(9));
         line.DoneWaiting();
       },
       ""},
      {"output erases the line first", [&] { Write(line, fd, "half a "); }, "\r\x1B[Khalf a "},
      {"not drawn within a line", [&] { now += seconds(1); }, ""},
      {"drawn again once the line ends", [&] { Write(line, fd, "line\n"); },
       "line\n\rdiscovering computers: 2 found (0:03)\x1B[K"},
      {"listing", [&] { line.ListingComputer("\\\\PC\x1B]0;x\x07"); },
       "\rlisting computer 1 of 2 (0:03): \\\\PC?]0;x?\x1B[K"},
      {"the width followed", [&] { terminal.SetColumns(12); }, "\rlisting com\x1B[K"},
      {"a terminal too narrow", [&] { terminal.SetColumns(1); }, "\r\x1B[K"},
      {"wide again", [&] { terminal.SetColumns(80); }, "\rlisting computer 1 of 2 (0:03): \\\\PC?]0;x?\x1B[K"},
      {"stopped", [&] { line.Stop(); }, "\r\x1B[K"},
      {"never again", [&] { line.ComputersFound(1); }, ""},
  };
  for (const Step& step : steps) {
    step.act();
    line.Redraw();
    EXPECT_EQ(terminal.Received(), step.sent) << step.what;
  }
}

// Writers on two threads against a timer that redraws every millisecond:
// every message reaches the screen whole, and the line leaves nothing.
TEST(StatusLineTest, TheTimerNeverDrawsInsideOutputFromOtherThreads) {
  Terminal terminal;
  ASSERT_TRUE(terminal.Opened());
  standin::StatusLine line(terminal.Descriptor(), true);
  std::atomic<bool> done{false};
  std::string received;
  std::thread reader([&] { received = terminal.ReadUntil(done); });
  line.StartTimer(milliseconds(1));
  constexpr int kMessages = 200;
  const auto writer = [&](char name) {
    for (int index = 0; index < kMessages; ++index) {
      line.ComputersFound(1);
      // Each message in three pieces, as a stream writes one.
      standin::StatusLine::Output output(line);
      for (const std::string& piece :
           {std::string("message "), std::string(1, name), " " + std::to_string(index) + "\n"}) {
        ASSERT_EQ(write(terminal.Descriptor(), piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
        output.Sent(piece);
      }
    }
  };
  std::thread first(writer, 'a');
  std::thread second(writer, 'b');
  first.join();
  second.join();
  line.Stop();
  done = true;
  reader.join();
  std::istringstream screen(testing_support::FinalScreen(received));
  int next[2] = {0, 0};
  for (std::string shown; std::getline(screen, shown);) {
    const int writer_index = shown.size() > 8 && shown[8] == 'b' ? 1 : 0;
    EXPECT_EQ(shown, std::string("message ") + "ab"[writer_index] + " " + std::to_string(next[writer_index]++));
  }
  EXPECT_EQ(next[0], kMessages);
  EXPECT_EQ(next[1], kMessages);
}

TEST(StatusLineTest, MessagesReachTheTerminalWholeWhileALineRuns) {
  Terminal terminal;
  ASSERT_TRUE(terminal.Opened());
  standin::StatusLine line(terminal.Descriptor(), true);
  standin::MessageBuffer buffer(terminal.Descriptor());
  std::ostream messages(&buffer);
  messages.setf(std::ios::unitbuf);
  buffer.FollowLine(&line);
  line.Redraw();
  EXPECT_EQ(terminal.Received(), "\rdiscovering computers: 0 found (0:00)\x1B[K");
  messages << "kestrova: "
           << "one";
  EXPECT_EQ(terminal.Received(), "");
  messages << " message\nand a";
  EXPECT_EQ(terminal.Received(), "\r\x1B[Kkestrova: one message\n");
  // Without a line, every piece is written as it comes, what was held
  // first.
  buffer.FollowLine(nullptr);
  EXPECT_EQ(terminal.Received(), "and a");
  messages << "nother";
  EXPECT_EQ(terminal.Received(), "nother");
}

TEST(StatusLineTest, TheSettingIsOnOrOffAndAnythingElseIsNamed) {
  struct Case {
    const char* value;
    bool allows;
    std::string message;
  };
  const Case cases[] = {
      {nullptr, true, ""},
      {"", true, ""},
      {"on", true, ""},
      {"ON", true, ""},
      {"off", false, ""},
      {"Off", false, ""},
      {"no\x1B[2J", true,
       "kestrova: KESTROVA_PROGRESS=\"no\\x1B[2J\" is neither on nor off; the default, on, applies\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream messages;
    EXPECT_EQ(standin::ProgressSettingAllows(c.value, messages), c.allows) << (c.value ? c.value : "unset");
    EXPECT_EQ(messages.str(), c.message);
  }
}

}  // namespace
