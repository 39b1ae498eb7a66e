// Reads a byte stream of DCE/RPC fragments so that no read of the stream
// asks for more than the current fragment holds: a fragment's common
// header (16 bytes), then exactly the rest that its frag_length gives
// (pdu.h). The RPC connection reads every reply this way, and so does the
// SMB pipe: libsmbclient's read returns only once it has filled its whole
// buffer, so a read larger than what the server sent would wait out the
// time limit. One Read with a buffer of the fragment size returns the
// whole fragment, in two reads of the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/windows_api.h"

namespace rpc {

class FragmentReader {
 public:
  // Fills all of `bytes` from the stream, or fails with a Windows code.
  using ReadExactly = std::function<DWORD(std::span<std::uint8_t> bytes)>;

  explicit FragmentReader(ReadExactly read) : read_(std::move(read)) {}

  // Between 1 and buffer.size() bytes of the current fragment, never past
  // its end. A length field shorter than the header counts as the header
  // alone (the RPC client rejects such a fragment).
  DWORD Read(std::span<std::uint8_t> buffer, std::size_t& received);

 private:
  ReadExactly read_;
  // Header bytes read but not handed out yet, and how many bytes of the
  // current fragment are still to be read from the stream.
  std::vector<std::uint8_t> pending_;
  std::size_t fragment_left_ = 0;
};

}  // namespace rpc
