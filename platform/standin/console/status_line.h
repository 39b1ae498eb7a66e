// One status line on a terminal that shows where the run is: the text of
// status_line_text.h, redrawn in place at the bottom of what the terminal
// shows. Drawing it is a carriage return, its text and ESC [ K (erase to
// the end of the line); erasing it is a carriage return and ESC [ K.
// Nothing else is sent: no cursor movement, no colour.
//
// A timer redraws it a few times a second, and only when its text
// changed or it was erased, so that it never flickers: the time so far
// and a wait's seconds left move on their own, the facts that the stand-in
// notes (computers found, the computer being listed) show at the next
// redraw. Its width follows the terminal's, read at every redraw. While
// the process is a background job of the terminal, it is not redrawn.
//
// Every other write to the terminal goes through an Output, which holds
// the one lock that redraws take too: the line is erased first, and drawn
// again at a later redraw once the cursor is back at the start of a line
// (after a line end). So a redraw never lands inside a message or a
// report line, even one written in several pieces.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/lan/progress_report.h"
#include "platform/standin/console/status_line_text.h"

namespace standin {

class StatusLine final : public lan::ProgressReport {
 public:
  // The most redraws a second: five.
  static constexpr std::chrono::milliseconds kRedrawInterval{200};
  // The width of a terminal that does not tell its own.
  static constexpr int kDefaultColumns = 80;

  // The line on the terminal `terminal` (a descriptor, which must stay
  // open), which reads UTF-8 (`utf8`) or single bytes. The run's time
  // counts from now, as `now` tells it.
  StatusLine(int terminal, bool utf8, std::function<Clock::time_point()> now = Clock::now);
  ~StatusLine() override;
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  // What the line shows. From any thread; none of these writes to the
  // terminal or waits for it.
  void ComputersFound(std::uint64_t count);
  void ListingComputer(std::string_view name);
  void Waiting(std::string_view what, Clock::time_point until) override;
  void DoneWaiting() override;

  // Whether `descriptor` writes to the line's terminal.
  bool SharesTerminal(int descriptor) const;

  // Other output on the line's terminal: constructed before it is
  // written, which erases the line, and told what reached the terminal.
  class Output {
   public:
    explicit Output(StatusLine& line);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    // Bytes that reached the terminal.
    void Sent(std::string_view bytes);

   private:
    StatusLine& line_;
    std::lock_guard<std::mutex> lock_;
  };

  // Draws the line if it is due: erased or its text changed, and the
  // cursor at the start of a line. The timer calls it.
  void Redraw();

  // Redraws every `interval` on a thread of its own, until Stop. Without
  // a thread (none can be had), the line is never drawn.
  void StartTimer(std::chrono::milliseconds interval = kRedrawInterval);

  // Ends the timer and erases the line, which is not drawn again.
  void Stop();

 private:
  // With terminal_guard_ held.
  void Send(std::string_view bytes);
  void Erase();

  const int terminal_;
  const bool utf8_;
  const std::function<Clock::time_point()> now_;
  const Clock::time_point start_;
  dev_t device_ = 0;
  bool device_known_ = false;

  std::mutex facts_guard_;
  StatusFacts facts_;
  Clock::time_point wait_until_;

  // Held for every write to the terminal.
  std::mutex terminal_guard_;
  bool shown_ = false;
  std::string shown_text_;
  bool at_line_start_ = true;
  bool stopped_ = false;
  bool failed_ = false;

  std::mutex timer_guard_;
  std::condition_variable timer_wake_;
  bool timer_stopping_ = false;
  std::thread timer_;
};

}  // namespace standin
