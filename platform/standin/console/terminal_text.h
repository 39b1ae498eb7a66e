// What a terminal is sent in place of the bytes written to it. A terminal
// obeys the control characters it receives (ESC ] 0 ; ... BEL sets its
// title, ESC [ 2 J clears it, an 8-bit terminal takes the byte 0x9B as
// ESC [), and the names that the program prints come from outside: each
// control character goes to a terminal as '?', one for each of its bytes,
// so that the text keeps its length and its line ends. Files and pipes
// get the bytes as they are written; only a terminal is sent this text.
//
// Kept: printable text, CR, LF, TAB, and NUL, which terminals ignore and
// the runtime's error line ends with. Shown as '?': the other C0 controls,
// DEL and the C1 controls. A terminal that reads UTF-8 gets valid UTF-8
// only: C1 is U+0080 to U+009F there (C2 80 to C2 9F), and every byte
// that is no part of valid UTF-8 becomes '?' as well. A terminal that
// reads single bytes gets '?' for every byte from 0x80 to 0x9F; the
// letters of a single-byte code page lie above and are kept. Bytes
// 0x80 to 0x9F never pass either way, so a single-byte text sent to a
// UTF-8 terminal cannot form C1 there either.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace standin {

class TerminalText {
 public:
  // `utf8`: the terminal reads UTF-8; else it reads single bytes.
  explicit TerminalText(bool utf8) : utf8_(utf8) {}

  // The most bytes that a call holds back for the next one.
  static constexpr std::size_t kMostHeld = 3;

  // Puts into `shown`, which has room for bytes.size() + kMostHeld, what
  // the terminal is sent for `bytes`, and returns how many bytes that is.
  // The start of a UTF-8 character that `bytes` cuts short is held back
  // and judged with the bytes of the next call, so that a character split
  // between two writes is shown as if written whole.
  std::size_t Show(std::string_view bytes, std::span<char> shown);

  // Puts into `shown`, which has room for kMostHeld bytes, what the
  // terminal is sent for the bytes held back when no more follow (the
  // start of a character that the text ends in the middle of): a '?' for
  // each. Returns how many bytes that is.
  std::size_t Finish(std::span<char> shown);

 private:
  bool utf8_;
  char held_[kMostHeld + 1] = {};
  std::size_t held_count_ = 0;
  std::size_t character_length_ = 0;
};

}  // namespace standin
