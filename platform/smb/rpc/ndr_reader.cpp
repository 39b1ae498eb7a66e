#include "platform/smb/rpc/ndr_reader.h"

#include <algorithm>

namespace rpc {

std::span<const std::uint8_t> NdrReader::Take(std::size_t count) {
  if (failed_ || count > stub_.size() - position_) {
    failed_ = true;
    return {};
  }
  const std::span<const std::uint8_t> taken = stub_.subspan(position_, count);
  position_ += count;
  return taken;
}

void NdrReader::Align(std::size_t alignment) {
  const std::size_t padding = (alignment - position_ % alignment) % alignment;
  Take(padding);
}

std::uint16_t NdrReader::U16() {
  Align(2);
  const std::span<const std::uint8_t> bytes = Take(2);
  if (bytes.empty()) return 0;
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t NdrReader::U32() {
  Align(4);
  const std::span<const std::uint8_t> bytes = Take(4);
  if (bytes.empty()) return 0;
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

ContextHandle NdrReader::Handle() {
  Align(4);
  ContextHandle handle;
  const std::span<const std::uint8_t> bytes = Take(handle.Bytes.size());
  if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), handle.Bytes.begin());
  return handle;
}

bool NdrReader::Pointer() { return U32() != 0; }

std::span<const std::uint8_t> NdrReader::Array(std::size_t element_size) {
  const std::uint64_t maximum = U32();
  const std::uint64_t offset = U32();
  const std::uint64_t actual = U32();
  if (offset + actual > maximum) {
    failed_ = true;
    return {};
  }
  const std::span<const std::uint8_t> elements = Take(static_cast<std::size_t>(actual * element_size));
  return elements;
}

std::u16string NdrReader::CountedString(std::size_t most_units, bool& too_long) {
  too_long = false;
  const std::uint16_t length = U16();
  const std::uint16_t maximum_length = U16();
  const bool present = Pointer();
  if (failed_ || length > maximum_length) {
    failed_ = true;
    return {};
  }
  if (!present) {
    if (length != 0) failed_ = true;
    return {};
  }
  const std::span<const std::uint8_t> bytes = Array(2);
  if (bytes.size() / 2 > most_units || length / 2 > most_units) {
    too_long = true;
    return {};
  }
  const std::size_t characters = std::min<std::size_t>(bytes.size() / 2, length / 2);
  std::u16string text(characters, u'\0');
  for (std::size_t index = 0; index < characters; ++index) {
    text[index] = static_cast<char16_t>(bytes[2 * index] | bytes[2 * index + 1] << 8);
  }
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace rpc
