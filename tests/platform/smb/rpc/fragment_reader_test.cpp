#include "platform/smb/rpc/fragment_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace rpc {
namespace {

// A stream that records the size of every read asked of it.
struct ScriptedStream {
  std::vector<std::uint8_t> bytes;
  std::size_t next = 0;
  std::vector<std::size_t> asked;

  DWORD Read(std::span<std::uint8_t> into) {
    asked.push_back(into.size());
    if (bytes.size() - next < into.size()) return ERROR_BROKEN_PIPE;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(next), into.size(), into.begin());
    next += into.size();
    return NO_ERROR;
  }
};

std::vector<std::uint8_t> Fragment(std::uint16_t length, bool little_endian = true) {
  std::vector<std::uint8_t> fragment(length < 16 ? 16 : length, 0xAB);
  fragment[4] = little_endian ? 0x10 : 0x00;
  fragment[8] = static_cast<std::uint8_t>(little_endian ? length & 0xFF : length >> 8);
  fragment[9] = static_cast<std::uint8_t>(little_endian ? length >> 8 : length & 0xFF);
  return fragment;
}

TEST(FragmentReader, NeverAsksPastTheCurrentFragment) {
  ScriptedStream stream;
  for (const auto& fragment : {Fragment(100), Fragment(40, false), Fragment(16), Fragment(3)}) {
    stream.bytes.insert(stream.bytes.end(), fragment.begin(), fragment.end());
  }
  FragmentReader reader([&](std::span<std::uint8_t> bytes) { return stream.Read(bytes); });
  std::vector<std::uint8_t> buffer(5840);
  std::vector<std::size_t> got;
  for (int i = 0; i < 4; ++i) {
    std::size_t received = 0;
    ASSERT_EQ(reader.Read(buffer, received), NO_ERROR);
    got.push_back(received);
  }
  // Whole fragments; a length below the header's counts as the header.
  EXPECT_EQ(got, (std::vector<std::size_t>{100, 40, 16, 16}));
  EXPECT_EQ(stream.asked, (std::vector<std::size_t>{16, 84, 16, 24, 16, 16}));
  std::size_t received = 0;
  EXPECT_EQ(reader.Read(buffer, received), ERROR_BROKEN_PIPE);
}

TEST(FragmentReader, SmallBuffersTakeAFragmentInPieces) {
  ScriptedStream stream;
  stream.bytes = Fragment(30);
  FragmentReader reader([&](std::span<std::uint8_t> bytes) { return stream.Read(bytes); });
  std::vector<std::uint8_t> out;
  for (const std::size_t size : {10, 10, 4, 100}) {
    std::vector<std::uint8_t> buffer(size);
    std::size_t received = 0;
    ASSERT_EQ(reader.Read(buffer, received), NO_ERROR);
    out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(received));
  }
  EXPECT_EQ(out, Fragment(30));
  std::vector<std::uint8_t> empty;
  std::size_t received = 0;
  EXPECT_EQ(reader.Read(empty, received), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace rpc
