#include "platform/standin/console/message_buffer.h"

#include <optional>

#include "platform/standin/console/descriptor_write.h"

namespace standin {

void MessageBuffer::FollowLine(StatusLine* line) {
  const std::lock_guard lock(guard_);
  WriteHeld(held_.size());
  line_ = line;
}

MessageBuffer::int_type MessageBuffer::overflow(int_type character) {
  if (traits_type::eq_int_type(character, traits_type::eof())) return traits_type::not_eof(character);
  const std::lock_guard lock(guard_);
  held_ += traits_type::to_char_type(character);
  return character;
}

std::streamsize MessageBuffer::xsputn(const char* bytes, std::streamsize count) {
  const std::lock_guard lock(guard_);
  held_.append(bytes, static_cast<std::size_t>(count));
  return count;
}

int MessageBuffer::sync() {
  const std::lock_guard lock(guard_);
  std::size_t count = held_.size();
  if (line_ != nullptr && count <= kMostHeld) {
    const std::size_t last_end = held_.rfind('\n');
    count = last_end == std::string::npos ? 0 : last_end + 1;
  }
  return WriteHeld(count) ? 0 : -1;
}

bool MessageBuffer::WriteHeld(std::size_t count) {
  if (count == 0) return true;
  std::optional<StatusLine::Output> output;
  if (line_ != nullptr) output.emplace(*line_);
  std::size_t done = 0;
  const bool written = WriteAll(descriptor_, held_.data(), count, done);
  if (output) output->Sent(std::string_view(held_).substr(0, done));
  held_.erase(0, count);
  return written;
}

}  // namespace standin
