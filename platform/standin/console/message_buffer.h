// Standard error as the stream of the program's messages, in step with
// the status line (status_line.h). A message is written in pieces (each
// << of an unbuffered stream is a write of its own), and the line must not
// be drawn between them: while a line is running, a flush writes only the
// messages that are complete (up to their last line end), with the line
// erased first, and holds the rest until its line ends. Without a line,
// every flush writes everything, as an unbuffered std::cerr does.
#pragma once

#include <mutex>
#include <streambuf>
#include <string>

#include "platform/standin/console/status_line.h"

namespace standin {

class MessageBuffer final : public std::streambuf {
 public:
  // The most bytes held for a line that does not end; beyond, they are
  // written as they are.
  static constexpr std::size_t kMostHeld = 64 * 1024;

  explicit MessageBuffer(int descriptor) : descriptor_(descriptor) {}

  // Keeps in step with `line` from now on, or with none (null), after
  // writing what was held.
  void FollowLine(StatusLine* line);

 protected:
  int_type overflow(int_type character) override;
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int sync() override;

 private:
  // With guard_ held: writes the first `count` held bytes. False when
  // the write failed.
  bool WriteHeld(std::size_t count);

  const int descriptor_;
  std::mutex guard_;
  StatusLine* line_ = nullptr;
  std::string held_;
};

}  // namespace standin
