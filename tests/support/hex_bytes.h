// Bytes spelled out as hexadecimal text, for tests that write a protocol's
// layouts as the protocol documents them: "05 00 0b 03", blanks and line
// breaks ignored.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Hex(std::string_view text) {
  Bytes bytes;
  for (std::size_t index = 0; index < text.size();) {
    if (text[index] == ' ' || text[index] == '\n') {
      ++index;
      continue;
    }
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(index, 2)), nullptr, 16)));
    index += 2;
  }
  return bytes;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

}  // namespace testsupport
