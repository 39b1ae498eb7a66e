#include "platform/standin/console/terminal_text.h"

#include "platform/lan/utf16_text.h"

namespace standin {
namespace {

// A byte below 0x80 that a terminal shows or that does no harm.
bool IsHarmlessAscii(unsigned char byte) {
  return (byte >= 0x20 && byte != 0x7F) || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\0';
}

// How many bytes the UTF-8 character that starts with `lead` takes; 0 for
// a byte that starts none (a continuation byte, C0, C1, F5 to FF).
std::size_t Utf8LengthFrom(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

}  // namespace

std::size_t TerminalText::Show(std::string_view bytes, std::span<char> shown) {
  std::size_t length = 0;
  const auto send = [&](char byte) { shown[length++] = byte; };
  const auto send_held_as_unknown = [&] {
    for (std::size_t k = 0; k < held_count_; ++k) send('?');
    held_count_ = 0;
  };
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    if (!utf8_) {
      send(value < 0x80 ? (IsHarmlessAscii(value) ? byte : '?') : (value <= 0x9F ? '?' : byte));
      continue;
    }
    if (held_count_ > 0) {
      if (IsContinuation(value)) {
        held_[held_count_++] = byte;
        if (held_count_ < character_length_) continue;
        // The character is complete: valid UTF-8 (neither overlong nor a
        // surrogate nor beyond U+10FFFF) and no C1 control, or all '?'.
        const std::string_view character(held_, held_count_);
        std::size_t decoded = 0;
        const char32_t code = lan::DecodeUtf8(character, 0, decoded);
        if (decoded == held_count_ && code > 0x9F) {
          for (const char kept : character) send(kept);
          held_count_ = 0;
        } else {
          send_held_as_unknown();
        }
        continue;
      }
      // Cut short by a byte that continues nothing, which starts afresh.
      send_held_as_unknown();
    }
    if (value < 0x80) {
      send(IsHarmlessAscii(value) ? byte : '?');
      continue;
    }
    character_length_ = Utf8LengthFrom(value);
    if (character_length_ == 0) {
      send('?');
      continue;
    }
    held_[0] = byte;
    held_count_ = 1;
  }
  return length;
}

std::size_t TerminalText::Finish(std::span<char> shown) {
  const std::size_t length = held_count_;
  for (std::size_t k = 0; k < length; ++k) shown[k] = '?';
  held_count_ = 0;
  return length;
}

}  // namespace standin
