#include "platform/smb/rpc/ndr_writer.h"

namespace rpc {

void NdrWriter::Align(std::size_t alignment) {
  while (data_.size() % alignment != 0) data_.push_back(0);
}

void NdrWriter::U8(std::uint8_t value) { data_.push_back(value); }

void NdrWriter::U16(std::uint16_t value) {
  Align(2);
  data_.push_back(static_cast<std::uint8_t>(value));
  data_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void NdrWriter::U32(std::uint32_t value) {
  Align(4);
  for (int shift = 0; shift < 32; shift += 8) data_.push_back(static_cast<std::uint8_t>(value >> shift));
}

void NdrWriter::Bytes(std::span<const std::uint8_t> bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }

void NdrWriter::Handle(const ContextHandle& handle) {
  Align(4);
  Bytes(handle.Bytes);
}

void NdrWriter::Pointer(bool present) {
  if (!present) {
    U32(0);
    return;
  }
  U32(next_referent_);
  next_referent_ += 4;
}

void NdrWriter::ArrayHeader(std::uint32_t maximum, std::uint32_t actual) {
  U32(maximum);
  U32(0);
  U32(actual);
}

void NdrWriter::CountedString(std::u16string_view text, bool terminate) {
  const auto characters = static_cast<std::uint32_t>(text.size() + (terminate ? 1 : 0));
  U16(static_cast<std::uint16_t>(characters * 2));
  U16(static_cast<std::uint16_t>(characters * 2));
  Pointer(true);
  ArrayHeader(characters, characters);
  for (char16_t character : text) U16(static_cast<std::uint16_t>(character));
  if (terminate) U16(0);
}

void NdrWriter::EmptyCountedString(std::uint16_t maximum_bytes) {
  U16(0);
  U16(maximum_bytes);
  Pointer(maximum_bytes != 0);
  if (maximum_bytes != 0) ArrayHeader(maximum_bytes / 2, 0);
}

}  // namespace rpc
