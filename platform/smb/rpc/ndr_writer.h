// Builds the stub data of an RPC request in NDR (transfer syntax 2.0,
// little-endian, ASCII, IEEE): integers at their natural alignment counted
// from the start of the stub, unique pointers as referent ids, conformant
// varying arrays with their maximum count, offset and actual count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/smb/rpc/context_handle.h"

namespace rpc {

class NdrWriter {
 public:
  void Align(std::size_t alignment);
  void U8(std::uint8_t value);
  void U16(std::uint16_t value);
  void U32(std::uint32_t value);
  void Bytes(std::span<const std::uint8_t> bytes);
  void Handle(const ContextHandle& handle);

  // A unique pointer: a fresh non-zero referent id, or zero for null. The
  // pointee follows where the caller writes it.
  void Pointer(bool present);

  // The header of a conformant varying array: maximum count, offset zero,
  // actual count.
  void ArrayHeader(std::uint32_t maximum, std::uint32_t actual);

  // A counted UTF-16 string (RPC_UNICODE_STRING / RRP_UNICODE_STRING) as a
  // top-level parameter: Length and MaximumLength in bytes, the buffer's
  // referent, then the buffer itself. With `terminate`, a zero character is
  // sent and counted, as the registry expects of names it is given.
  void CountedString(std::u16string_view text, bool terminate);

  // An empty counted string with room for `maximum_bytes`, which a server
  // fills in its reply; with zero room the buffer pointer is null.
  void EmptyCountedString(std::uint16_t maximum_bytes);

  const std::vector<std::uint8_t>& Data() const { return data_; }
  std::vector<std::uint8_t> Take() { return std::move(data_); }

 private:
  std::vector<std::uint8_t> data_;
  std::uint32_t next_referent_ = 0x00020000;
};

}  // namespace rpc
