// The winreg calls' stub data as MS-RRP lays it out: requests written byte
// for byte, replies decoded, and every shorter cut of a reply refused as bad
// stub data, never read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/smb/rpc/status.h"
#include "platform/smb/winreg/messages.h"
#include "tests/support/hex_bytes.h"

namespace {

using testsupport::Bytes;
using testsupport::Hex;
using testsupport::Join;

// A BaseRegQueryValue reply for "Hi" (REG_SZ, 6 bytes) with room 8192:
// the data array is followed by two bytes of padding before the size.
const Bytes kQueryValueStub =
    Hex("00 00 02 00 01 00 00 00"
        "04 00 02 00 00 20 00 00 00 00 00 00 06 00 00 00 48 00 69 00 00 00 00 00"
        "08 00 02 00 06 00 00 00"
        "0c 00 02 00 06 00 00 00"
        "00 00 00 00");

TEST(WinregMessagesTest, RequestsAreWrittenAsTheProtocolLaysThemOut) {
  // OpenKey(handle, "Ab", KEY_READ): the name counts its terminating zero,
  // two bytes of padding follow it.
  rpc::ContextHandle handle;
  handle.Bytes.fill(0x11);
  EXPECT_EQ(
      winreg::EncodeOpenKey(handle, u"Ab", KEY_READ),
      Join({Bytes(20, 0x11), Hex("06 00 06 00 00 00 02 00 03 00 00 00 00 00 00 00 03 00 00 00 41 00 62 00 00 00 00 00"
                                 "00 00 00 00 19 00 02 00")}));
}

TEST(WinregMessagesTest, QueryValueReplyGivesTypeAndData) {
  winreg::QueryValueReply value;
  ASSERT_EQ(winreg::DecodeQueryValueReply(kQueryValueStub, 8192, value), NO_ERROR);
  EXPECT_EQ(value.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value.Data, std::string("H\0i\0\0\0", 6));
}

// Each winreg reply as the protocol lays it out, decoded; then every
// shorter cut of it, which must be refused as bad stub data, never read.
TEST(WinregMessagesTest, RepliesDecodeAndTheirTruncationsAreRefused) {
  winreg::EnumKeyReply listed;
  const Bytes enum_key =
      Hex("06 00 00 02 00 00 02 00 00 01 00 00 00 00 00 00 03 00 00 00 41 00 62 00 00 00 00 00"
          "04 00 02 00 00 00 00 00 00 00 00 00"
          "08 00 02 00 44 33 22 11 00 00 d0 01"
          "00 00 00 00");
  const Bytes query_info =
      Hex("00 00 00 00 00 00 00 00"
          "96 00 00 00 26 00 00 00 00 00 00 00 02 00 00 00 0b 00 00 00 40 00 00 00 00 00 00 00"
          "88 77 66 55 99 99 d9 01 00 00 00 00");
  const Bytes open_key = Join({Bytes(20, 0x42), Hex("00 00 00 00")});
  // As Samba 4.17 answers: the subkey "App1" with a class pointer to an
  // empty string whose buffer is present but holds nothing; and a value
  // whose data array's maximum count is its size, not the room offered.
  const Bytes samba_enum_key =
      Hex("0a 00 00 02 0c 00 02 00 00 01 00 00 00 00 00 00 05 00 00 00 41 00 70 00 70 00 31 00 00 00 00 00"
          "10 00 02 00 00 00 00 00 14 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00"
          "18 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00");
  const Bytes samba_query_value =
      Hex("14 00 02 00 01 00 00 00 18 00 02 00 24 00 00 00 00 00 00 00 24 00 00 00"
          "46 00 69 00 72 00 73 00 74 00 20 00 61 00 70 00 70 00 6c 00 69 00 63 00 61 00 74 00 69 00 6f 00 6e 00 00 00"
          "1c 00 02 00 24 00 00 00 20 00 02 00 24 00 00 00 00 00 00 00");
  ASSERT_EQ(winreg::DecodeEnumKeyReply(samba_enum_key, winreg::kKeyNameRoom, listed), NO_ERROR);
  EXPECT_EQ(listed.NameOut, u"App1");
  winreg::QueryValueReply samba_value;
  ASSERT_EQ(winreg::DecodeQueryValueReply(samba_query_value, 8192, samba_value), NO_ERROR);
  EXPECT_EQ(samba_value.cbData, 36u);
  EXPECT_EQ(samba_value.Data.substr(0, 4), std::string("F\0i\0", 4));

  const Bytes no_more = Hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 03 01 00 00");

  ASSERT_EQ(winreg::DecodeEnumKeyReply(enum_key, winreg::kKeyNameRoom, listed), NO_ERROR);
  EXPECT_EQ(listed.NameOut, u"Ab");
  EXPECT_EQ(listed.ftLastWriteTime.dwHighDateTime, 0x01d00000u);
  EXPECT_EQ(winreg::DecodeEnumKeyReply(no_more, winreg::kKeyNameRoom, listed), ERROR_NO_MORE_ITEMS);
  winreg::QueryInfoKeyReply info;
  ASSERT_EQ(winreg::DecodeQueryInfoKeyReply(query_info, info), NO_ERROR);
  EXPECT_EQ(info.cSubKeys, 150u);
  EXPECT_EQ(info.cbMaxSubKeyLen, 38u);
  EXPECT_EQ(info.cValues, 2u);
  EXPECT_EQ(info.cbMaxValueNameLen, 11u);
  EXPECT_EQ(info.cbMaxValueLen, 64u);
  EXPECT_EQ(info.ftLastWriteTime.dwLowDateTime, 0x55667788u);
  rpc::ContextHandle handle;
  ASSERT_EQ(winreg::DecodeHandleReply(open_key, handle), NO_ERROR);
  EXPECT_EQ(handle.Bytes[0], 0x42);

  // Each decoder gives its status and what it read, as text.
  using Decoder = std::string (*)(const Bytes&);
  static const auto enum_decoder = [](const Bytes& stub) {
    winreg::EnumKeyReply read{u"untouched", {}};
    const DWORD status = winreg::DecodeEnumKeyReply(stub, winreg::kKeyNameRoom, read);
    return std::to_string(status) + " " + std::string(read.NameOut.begin(), read.NameOut.end()) + " " +
           std::to_string(read.ftLastWriteTime.dwHighDateTime);
  };
  const std::pair<Bytes, Decoder> replies[] = {
      {enum_key, enum_decoder},
      {samba_enum_key, enum_decoder},
      {query_info,
       [](const Bytes& stub) {
         winreg::QueryInfoKeyReply read;
         const DWORD status = winreg::DecodeQueryInfoKeyReply(stub, read);
         return std::to_string(status) + " " + std::to_string(read.cSubKeys) + " " +
                std::to_string(read.ftLastWriteTime.dwLowDateTime);
       }},
      {open_key,
       [](const Bytes& stub) {
         rpc::ContextHandle read;
         const DWORD status = winreg::DecodeHandleReply(stub, read);
         return std::to_string(status) + " " + std::to_string(read.Bytes[0]);
       }},
      {kQueryValueStub,
       [](const Bytes& stub) {
         winreg::QueryValueReply read;
         const DWORD status = winreg::DecodeQueryValueReply(stub, 8192, read);
         return std::to_string(status) + " " + std::to_string(read.cbData) + " " + read.Data;
       }},
  };
  const std::string refused = std::to_string(rpc::kRpcBadStubData);
  for (const auto& [reply, decode] : replies) {
    for (std::size_t length = 0; length < reply.size(); ++length) {
      EXPECT_EQ(decode(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(length))).substr(0, 4), refused)
          << "cut at " << length;
    }
    // Up to 7 bytes of padding after the status are a server's rounding
    // of the stub; 8 are a reply that is not what was asked.
    Bytes padded = reply;
    padded.resize(reply.size() + 7);
    EXPECT_EQ(decode(padded), decode(reply));
    EXPECT_EQ(decode(padded).substr(0, 2), "0 ");
    padded.push_back(0);
    EXPECT_EQ(decode(padded).substr(0, 4), refused);
  }

  // Counts that contradict each other or the bytes sent.
  Bytes claims_more = kQueryValueStub;
  claims_more[20] = 0x60;  // actual count 96, with 6 bytes there
  Bytes beyond_maximum = enum_key;
  beyond_maximum[8] = 2;  // maximum count 2, actual 3
  beyond_maximum[9] = 0;
  Bytes size_mismatch = kQueryValueStub;
  size_mismatch[36] = 7;  // size 7, 6 bytes sent
  winreg::QueryValueReply value;
  EXPECT_EQ(winreg::DecodeQueryValueReply(claims_more, 8192, value), rpc::kRpcBadStubData);
  EXPECT_EQ(winreg::DecodeEnumKeyReply(beyond_maximum, winreg::kKeyNameRoom, listed), rpc::kRpcBadStubData);
  EXPECT_EQ(winreg::DecodeQueryValueReply(size_mismatch, 8192, value), rpc::kRpcBadStubData);

  // A reply that holds more than the request made room for: a name of 3
  // units (its zero counted) or 6 bytes of data need room for them.
  EXPECT_EQ(winreg::DecodeEnumKeyReply(enum_key, 6, listed), NO_ERROR);
  EXPECT_EQ(winreg::DecodeEnumKeyReply(enum_key, 4, listed), rpc::kRpcProtocolError);
  EXPECT_EQ(winreg::DecodeQueryValueReply(kQueryValueStub, 6, value), NO_ERROR);
  EXPECT_EQ(winreg::DecodeQueryValueReply(kQueryValueStub, 5, value), rpc::kRpcProtocolError);
}

}  // namespace
