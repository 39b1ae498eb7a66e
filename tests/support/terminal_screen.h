// What a terminal shows of the bytes that a program sent it, for tests of
// the status line: CR returns to the start of the line, LF goes on to the
// start of the next (as a terminal that turns LF into CR LF does), and
// ESC [ K erases from the cursor to the end of the line. Every other byte
// takes one column where the cursor is, ESC of any other sequence too.
#pragma once

#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// The screen's lines after `bytes`, each ending in LF, without the empty
// lines at its end.
inline std::string FinalScreen(std::string_view bytes) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const char byte = bytes[at];
    if (byte == '\r') {
      column = 0;
    } else if (byte == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (bytes.substr(at, 3) == "\x1B[K") {
      if (lines.back().size() > column) lines.back().resize(column);
      at += 2;
    } else {
      std::string& line = lines.back();
      if (line.size() <= column) line.resize(column + 1, ' ');
      line[column++] = byte;
    }
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  std::string screen;
  for (const std::string& line : lines) screen += line + "\n";
  return screen;
}

// The status line as drawn and erased: a CR, a text of one line, ESC [ K.
inline const std::regex& StatusLineDraw() {
  static const std::regex draw("\r([^\r\n\x1B]*)\x1B\\[K");
  return draw;
}

// The texts that the status line was drawn with, in order.
inline std::vector<std::string> DrawnStatusTexts(const std::string& bytes) {
  std::vector<std::string> texts;
  for (std::sregex_iterator it(bytes.begin(), bytes.end(), StatusLineDraw()), end; it != end; ++it) {
    if ((*it)[1].length() > 0) texts.push_back((*it)[1].str());
  }
  return texts;
}

// `bytes` without the status line's draws and erasures.
inline std::string WithoutStatusLine(const std::string& bytes) {
  return std::regex_replace(bytes, StatusLineDraw(), "");
}

}  // namespace testing_support
