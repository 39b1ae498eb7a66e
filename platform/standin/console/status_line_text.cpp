#include "platform/standin/console/status_line_text.h"

#include <locale.h>
#include <wchar.h>

#include <string_view>

#include "platform/lan/utf16_text.h"
#include "platform/standin/console/terminal_text.h"

namespace standin {
namespace {

// "m:ss", or "h:mm:ss" from an hour on.
std::string ClockText(std::chrono::seconds elapsed) {
  const auto total = static_cast<std::uint64_t>(elapsed.count() < 0 ? 0 : elapsed.count());
  const auto two_digits = [](std::uint64_t value) {
    return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
  };
  const std::uint64_t hours = total / 3600;
  const std::uint64_t minutes = total / 60 % 60;
  const std::uint64_t seconds = total % 60;
  if (hours > 0) return std::to_string(hours) + ":" + two_digits(minutes) + ":" + two_digits(seconds);
  return std::to_string(minutes) + ":" + two_digits(seconds);
}

// Outside text as a terminal is sent it: no control character, and in
// UTF-8 valid characters only, a character cut short by the text's end
// included.
std::string Harmless(std::string_view text, bool utf8) {
  TerminalText terminal(utf8);
  std::string shown(text.size() + TerminalText::kMostHeld, '\0');
  std::size_t length = terminal.Show(text, shown);
  length += terminal.Finish(std::span<char>(shown).subspan(length));
  shown.resize(length);
  return shown;
}

// The columns that a character takes on a terminal that reads UTF-8; -1
// for one that it does not show in a place of its own. The widths are the
// C library's, the same in every UTF-8 locale.
int CharacterWidth(char32_t character) {
  static const locale_t utf8_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8_locale == static_cast<locale_t>(nullptr)) return character < 0x20 ? -1 : 1;
  const locale_t before = uselocale(utf8_locale);
  const int width = wcwidth(static_cast<wchar_t>(character));
  uselocale(before);
  return width;
}

// `text`, whose characters are valid, cut to `room` columns; a character
// that is not shown in a place of its own becomes '?'.
std::string CutToWidth(std::string_view text, int room, bool utf8) {
  std::string shown;
  int used = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t length = 1;
    int width = 1;
    bool replaced = static_cast<unsigned char>(text[at]) < 0x20;
    if (utf8) {
      const char32_t character = lan::DecodeUtf8(text, at, length);
      if (length == 0) length = 1;
      width = CharacterWidth(character);
      replaced = width < 0;
      if (replaced) width = 1;
    }
    if (used + width > room) break;
    if (replaced) {
      shown += '?';
    } else {
      shown.append(text, at, length);
    }
    used += width;
    at += length;
  }
  return shown;
}

}  // namespace

std::string StatusLineText(const StatusFacts& facts, int columns, bool utf8) {
  const std::string clock = " (" + ClockText(facts.Elapsed) + ")";
  std::string text;
  if (facts.ComputerNumber == 0) {
    text = "discovering computers: " + std::to_string(facts.ComputersFound) + " found" + clock;
    if (!facts.WaitingFor.empty()) {
      text +=
          ", waiting for " + Harmless(facts.WaitingFor, utf8) + ": " + std::to_string(facts.WaitLeft.count()) + " s";
    }
  } else {
    text = "listing computer " + std::to_string(facts.ComputerNumber);
    // More computers listed than found cannot be counted against them.
    if (facts.ComputerNumber <= facts.ComputersFound) text += " of " + std::to_string(facts.ComputersFound);
    text += clock + ": " + Harmless(facts.ComputerName, utf8);
  }
  return CutToWidth(text, columns - 1, utf8);
}

}  // namespace standin
