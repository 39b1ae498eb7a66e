#include "platform/smb/rpc/fragment_reader.h"

#include <algorithm>
#include <array>

#include "platform/smb/rpc/pdu.h"

namespace rpc {

DWORD FragmentReader::Read(std::span<std::uint8_t> buffer, std::size_t& received) {
  if (buffer.empty()) return ERROR_INVALID_PARAMETER;
  if (pending_.empty() && fragment_left_ == 0) {
    std::array<std::uint8_t, kCommonHeaderSize> header{};
    if (const DWORD error = read_(header); error != NO_ERROR) return error;
    fragment_left_ = std::max<std::size_t>(FragmentLength(header), kCommonHeaderSize) - kCommonHeaderSize;
    pending_.assign(header.begin(), header.end());
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

}  // namespace rpc
