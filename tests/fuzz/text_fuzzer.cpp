// Checks the text operations against plain reference versions on
// arbitrary bytes: FindSubstring against std::string_view::find,
// AsciiLower byte by byte, and Slice's clamping.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "runtime/text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::int32_t ReadNumber(const std::uint8_t* data) {
  std::int32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Two numbers for Slice, a split point, then the bytes of two texts.
  if (size < 9) return 0;
  const std::int32_t start = ReadNumber(data);
  const std::int32_t count = ReadNumber(data + 4);
  const std::size_t split = data[8];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 9), size - 9);
  const std::string_view pattern = bytes.substr(0, split < bytes.size() ? split : bytes.size());
  const std::string_view text = bytes.substr(pattern.size());

  const std::int32_t found = FindSubstring(pattern, text);
  const std::size_t reference = text.find(pattern);
  if (pattern.empty() || text.empty() || reference == std::string_view::npos) {
    Check(found == 0);
  } else {
    Check(found == static_cast<std::int32_t>(reference) + 1);
  }

  const Text lower = AsciiLower(text);
  Check(lower.size() == text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto expected = static_cast<unsigned char>(byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte);
    Check(static_cast<unsigned char>(lower[i]) == expected);
  }

  const Text slice = Slice(text, start, count);
  const std::int64_t offset = start < 1 ? 0 : static_cast<std::int64_t>(start) - 1;
  if (count <= 0 || offset >= static_cast<std::int64_t>(text.size())) {
    Check(slice.empty());
  } else {
    const std::int64_t room = static_cast<std::int64_t>(text.size()) - offset;
    Check(static_cast<std::int64_t>(slice.size()) == (count < room ? count : room));
    Check(text.substr(static_cast<std::size_t>(offset), slice.size()) == slice);
  }
  return 0;
}
