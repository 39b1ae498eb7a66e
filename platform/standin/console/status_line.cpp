#include "platform/standin/console/status_line.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "platform/standin/console/descriptor_write.h"

namespace standin {
namespace {

constexpr std::string_view kEraseLine = "\r\x1B[K";

int TerminalColumns(int terminal) {
  winsize size{};
  if (ioctl(terminal, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return StatusLine::kDefaultColumns;
  return size.ws_col;
}

// A job in the background of its terminal leaves the terminal to the one
// in the foreground: the line waits until the job is brought back. A
// terminal that is no controlling terminal has no foreground.
bool InBackground(int terminal) {
  const pid_t foreground = tcgetpgrp(terminal);
  return foreground != -1 && foreground != getpgrp();
}

bool CharacterDevice(int descriptor, dev_t& device) {
  struct stat facts {};
  if (fstat(descriptor, &facts) != 0 || !S_ISCHR(facts.st_mode)) return false;
  device = facts.st_rdev;
  return true;
}

}  // namespace

StatusLine::StatusLine(int terminal, bool utf8, std::function<Clock::time_point()> now)
    : terminal_(terminal), utf8_(utf8), now_(std::move(now)), start_(now_()) {
  device_known_ = CharacterDevice(terminal_, device_);
}

StatusLine::~StatusLine() { Stop(); }

void StatusLine::ComputersFound(std::uint64_t count) {
  const std::lock_guard lock(facts_guard_);
  facts_.ComputersFound += count;
}

void StatusLine::ListingComputer(std::string_view name) {
  const std::lock_guard lock(facts_guard_);
  ++facts_.ComputerNumber;
  facts_.ComputerName = name;
}

void StatusLine::Waiting(std::string_view what, Clock::time_point until) {
  const std::lock_guard lock(facts_guard_);
  facts_.WaitingFor = what;
  wait_until_ = until;
}

void StatusLine::DoneWaiting() {
  const std::lock_guard lock(facts_guard_);
  facts_.WaitingFor.clear();
}

bool StatusLine::SharesTerminal(int descriptor) const {
  dev_t device = 0;
  return device_known_ && CharacterDevice(descriptor, device) && device == device_;
}

StatusLine::Output::Output(StatusLine& line) : line_(line), lock_(line.terminal_guard_) {
  if (line_.shown_) line_.Erase();
}

void StatusLine::Output::Sent(std::string_view bytes) {
  if (!bytes.empty()) line_.at_line_start_ = bytes.back() == '\n';
}

void StatusLine::Redraw() {
  const Clock::time_point now = now_();
  StatusFacts facts;
  {
    const std::lock_guard lock(facts_guard_);
    facts = facts_;
    // A wait counts down in whole seconds, rounded up, and is gone once
    // its time has passed.
    if (wait_until_ > now) {
      facts.WaitLeft = std::chrono::ceil<std::chrono::seconds>(wait_until_ - now);
    } else {
      facts.WaitingFor.clear();
    }
  }
  facts.Elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start_);
  const std::string text = StatusLineText(facts, TerminalColumns(terminal_), utf8_);

  const std::lock_guard lock(terminal_guard_);
  if (stopped_ || failed_ || !at_line_start_ || InBackground(terminal_)) return;
  if (text.empty()) {
    if (shown_) Erase();
    return;
  }
  if (shown_ && text == shown_text_) return;
  Send("\r" + text + "\x1B[K");
  shown_ = !failed_;
  shown_text_ = text;
}

void StatusLine::StartTimer(std::chrono::milliseconds interval) {
  if (timer_.joinable()) return;
  try {
    timer_ = std::thread([this, interval] {
      std::unique_lock lock(timer_guard_);
      while (!timer_wake_.wait_for(lock, interval, [this] { return timer_stopping_; })) {
        lock.unlock();
        Redraw();
        lock.lock();
      }
    });
  } catch (const std::system_error&) {
    // No thread: the run goes on without the line.
  }
}

void StatusLine::Stop() {
  {
    const std::lock_guard lock(timer_guard_);
    timer_stopping_ = true;
  }
  timer_wake_.notify_all();
  if (timer_.joinable()) timer_.join();
  const std::lock_guard lock(terminal_guard_);
  if (shown_) Erase();
  stopped_ = true;
}

void StatusLine::Send(std::string_view bytes) {
  std::size_t done = 0;
  // A terminal that cannot be written (hung up) is not written again.
  if (!WriteAll(terminal_, bytes.data(), bytes.size(), done)) failed_ = true;
}

void StatusLine::Erase() {
  Send(kEraseLine);
  shown_ = false;
}

}  // namespace standin
