// Reads the stub data of an RPC reply in NDR (little-endian), checking
// every read against the bytes that arrived. A read past the end, or an
// array whose counts contradict each other or the bytes left, makes the
// reader fail; it then reads zeros and stays failed, so that a decoder can
// read a whole reply and check Failed() once. Nothing is allocated for a
// count before the bytes for it are known to be there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/smb/rpc/context_handle.h"

namespace rpc {

class NdrReader {
 public:
  explicit NdrReader(std::span<const std::uint8_t> stub) : stub_(stub) {}

  void Align(std::size_t alignment);
  std::uint16_t U16();
  std::uint32_t U32();
  ContextHandle Handle();

  // A unique pointer's referent id: true when the pointee follows.
  bool Pointer();

  // A conformant varying array of `element_size`-byte elements: checks its
  // counts (offset + actual within the maximum, the bytes there) and gives
  // the actual elements' bytes.
  std::span<const std::uint8_t> Array(std::size_t element_size);

  // A counted UTF-16 string as a top-level parameter: Length,
  // MaximumLength, the buffer's referent and the buffer. The text is the
  // buffer's characters up to Length, without trailing zero characters.
  std::u16string CountedString() {
    bool too_long = false;
    return CountedString(SIZE_MAX, too_long);
  }
  // The same for a string that may hold at most `most_units` UTF-16 units
  // (a terminating zero included): a longer one is read past but not
  // kept, and sets `too_long`.
  std::u16string CountedString(std::size_t most_units, bool& too_long);

  bool Failed() const { return failed_; }
  void Fail() { failed_ = true; }
  std::size_t Remaining() const { return failed_ ? 0 : stub_.size() - position_; }

 private:
  std::span<const std::uint8_t> Take(std::size_t count);

  std::span<const std::uint8_t> stub_;
  std::size_t position_ = 0;
  bool failed_ = false;
};

}  // namespace rpc
