#include "platform/smb/rpc/fragment_reader.h"

#include <algorithm>

namespace smb {
namespace {

std::size_t FragmentLength(const std::uint8_t* header) {
  const bool little_endian = (header[4] & 0xF0) != 0;
  const std::size_t length = little_endian ? header[8] | (header[9] << 8) : (header[8] << 8) | header[9];
  return std::max(length, FragmentReader::kHeaderSize);
}

}  // namespace

DWORD FragmentReader::Read(std::span<std::uint8_t> buffer, std::size_t& received) {
  if (buffer.empty()) return ERROR_INVALID_PARAMETER;
  if (pending_.empty() && fragment_left_ == 0) {
    std::uint8_t header[kHeaderSize];
    if (const DWORD error = read_(header); error != NO_ERROR) return error;
    fragment_left_ = FragmentLength(header) - kHeaderSize;
    pending_.assign(header, header + kHeaderSize);
  }
  std::size_t filled = 0;
  if (!pending_.empty()) {
    filled = std::min(buffer.size(), pending_.size());
    std::copy_n(pending_.begin(), filled, buffer.begin());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(filled));
    if (!pending_.empty() || filled == buffer.size() || fragment_left_ == 0) {
      received = filled;
      return NO_ERROR;
    }
  }
  const std::size_t more = std::min(buffer.size() - filled, fragment_left_);
  if (const DWORD error = read_(buffer.subspan(filled, more)); error != NO_ERROR) return error;
  fragment_left_ -= more;
  received = filled + more;
  return NO_ERROR;
}

}  // namespace smb
