// The DCE/RPC association and the winreg replies, byte for byte: PDUs
// written from the protocol's layouts replayed through a scripted pipe, and
// every way a reply can be malformed, cut short or oversized ending in a
// Windows error code.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/smb/rpc_connection.h"
#include "platform/smb/rpc_status.h"
#include "platform/smb/winreg_messages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A time limit that a scripted pipe never reaches.
constexpr std::chrono::milliseconds kNoHurry{60000};

Bytes Hex(std::string_view text) {
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

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// A response PDU: common header, allocation hint, context 0, no cancels.
Bytes Response(std::uint32_t call_id, std::uint8_t flags, const Bytes& stub, std::uint8_t type = 2) {
  Bytes pdu{5, 0, type, flags, 0x10, 0, 0, 0, 0, 0, 0, 0};
  for (int shift = 0; shift < 32; shift += 8) pdu.push_back(static_cast<std::uint8_t>(call_id >> shift));
  pdu.insert(pdu.end(), {0, 0, 0, 0, 0, 0, 0, 0});
  pdu.insert(pdu.end(), stub.begin(), stub.end());
  pdu[8] = static_cast<std::uint8_t>(pdu.size());
  pdu[9] = static_cast<std::uint8_t>(pdu.size() >> 8);
  return pdu;
}

// Replays replies in the pieces given, one piece per read, and keeps what
// the client wrote.
class ScriptedPipe : public smb::MessagePipe {
 public:
  ScriptedPipe(std::deque<Bytes>& replies, std::vector<Bytes>& written) : replies_(replies), written_(written) {}
  DWORD Write(std::span<const std::uint8_t> message) override {
    written_.emplace_back(message.begin(), message.end());
    return NO_ERROR;
  }
  DWORD Read(std::span<std::uint8_t> buffer, std::size_t& received) override {
    if (replies_.empty()) return ERROR_BROKEN_PIPE;
    Bytes& piece = replies_.front();
    received = std::min(buffer.size(), piece.size());
    std::copy_n(piece.begin(), received, buffer.begin());
    piece.erase(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(received));
    if (piece.empty()) replies_.pop_front();
    return NO_ERROR;
  }

 private:
  std::deque<Bytes>& replies_;
  std::vector<Bytes>& written_;
};

// A bind_ack for call 1: fragments of 4280 bytes both ways, the secondary
// address "\PIPE\winreg", one result accepting NDR 2.0.
const Bytes kBindAck =
    Hex("05 00 0c 03 10 00 00 00 44 00 00 00 01 00 00 00"
        "b8 10 b8 10 53 f0 00 00"
        "0d 00 5c 50 49 50 45 5c 77 69 6e 72 65 67 00 00"
        "01 00 00 00"
        "00 00 00 00 04 5d 88 8a eb 1c c9 11 9f e8 08 00 2b 10 48 60 02 00 00 00");

// A BaseRegQueryValue reply for "Hi" (REG_SZ, 6 bytes) with room 8192:
// the data array is followed by two bytes of padding before the size.
const Bytes kQueryValueStub =
    Hex("00 00 02 00 01 00 00 00"
        "04 00 02 00 00 20 00 00 00 00 00 00 06 00 00 00 48 00 69 00 00 00 00 00"
        "08 00 02 00 06 00 00 00"
        "0c 00 02 00 06 00 00 00"
        "00 00 00 00");

TEST(SmbRpcTest, BindAndRequestsAreWrittenAsTheProtocolLaysThemOut) {
  const Bytes bind =
      Hex("05 00 0b 03 10 00 00 00 48 00 00 00 07 00 00 00"
          "d0 16 d0 16 00 00 00 00"
          "01 00 00 00 00 00 01 00"
          "01 d0 8c 33 44 22 f1 31 aa aa 90 00 38 00 10 03 01 00 00 00"
          "04 5d 88 8a eb 1c c9 11 9f e8 08 00 2b 10 48 60 02 00 00 00");
  EXPECT_EQ(smb::EncodeBind(7, smb::kWinregSyntax), bind);

  // A 10000-byte stub over 4280-byte fragments: 4256 + 4256 + 1488 stub
  // bytes, allocation hints counting down, first and last flagged.
  const Bytes stub(10000, 0xAB);
  const auto fragments = smb::EncodeRequest(9, 17, stub, 4280);
  ASSERT_EQ(fragments.size(), 3u);
  const std::uint8_t flags[] = {1, 0, 2};
  const std::size_t sizes[] = {4280, 4280, 1512};
  const std::uint32_t hints[] = {10000, 5744, 1488};
  for (std::size_t index = 0; index < 3; ++index) {
    const Bytes& pdu = fragments[index];
    ASSERT_EQ(pdu.size(), sizes[index]);
    EXPECT_EQ(Bytes(pdu.begin(), pdu.begin() + 16),
              Join({Hex("05 00 00"),
                    {flags[index]},
                    Hex("10 00 00 00"),
                    {static_cast<std::uint8_t>(sizes[index]), static_cast<std::uint8_t>(sizes[index] >> 8)},
                    Hex("00 00 09 00 00 00")}));
    EXPECT_EQ(pdu[16] | pdu[17] << 8 | pdu[18] << 16, hints[index]);
    EXPECT_EQ(pdu[22], 17);
  }

  // OpenKey(handle, "Ab", KEY_READ): the name counts its terminating zero,
  // two bytes of padding follow it.
  smb::ContextHandle handle;
  handle.Bytes.fill(0x11);
  EXPECT_EQ(
      smb::winreg::EncodeOpenKey(handle, u"Ab", KEY_READ),
      Join({Bytes(20, 0x11), Hex("06 00 06 00 00 00 02 00 03 00 00 00 00 00 00 00 03 00 00 00 41 00 62 00 00 00 00 00"
                                 "00 00 00 00 19 00 02 00")}));
}

TEST(SmbRpcTest, MultiFragmentReplyInOddPiecesIsJoined) {
  std::deque<Bytes> replies;
  std::vector<Bytes> written;
  // The bind_ack in two reads; then the reply in two fragments, the first
  // fragment and the start of the second in one read.
  replies.push_back(Bytes(kBindAck.begin(), kBindAck.begin() + 5));
  replies.push_back(Bytes(kBindAck.begin() + 5, kBindAck.end()));
  const Bytes first = Response(2, 1, Bytes(kQueryValueStub.begin(), kQueryValueStub.begin() + 20));
  const Bytes second = Response(2, 2, Bytes(kQueryValueStub.begin() + 20, kQueryValueStub.end()));
  const Bytes both = Join({first, second});
  replies.push_back(Bytes(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(first.size() + 3)));
  replies.push_back(Bytes(both.begin() + static_cast<std::ptrdiff_t>(first.size() + 3), both.end()));
  smb::RpcConnection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
  ASSERT_EQ(connection.Bind(smb::kWinregSyntax), NO_ERROR);
  Bytes stub;
  ASSERT_EQ(connection.Call(17, Bytes(40, 0), stub), NO_ERROR);
  EXPECT_EQ(stub, kQueryValueStub);
  smb::winreg::ValueReply value;
  ASSERT_EQ(smb::winreg::DecodeQueryValueReply(stub, 8192, value), NO_ERROR);
  EXPECT_EQ(value.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value.Data, std::string("H\0i\0\0\0", 6));
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[1][12], 2);  // the call id
}

TEST(SmbRpcTest, BadRepliesEndInWindowsCodes) {
  const Bytes good = Response(2, 3, Hex("00 00 00 00"));
  auto with = [&](std::size_t offset, std::uint8_t value) {
    Bytes changed = good;
    changed[offset] = value;
    return changed;
  };
  Bytes fault = Response(2, 3, Hex("02 00 01 1c 00 00 00 00"), 3);
  Bytes windows_fault = Response(2, 3, Hex("05 00 00 00 00 00 00 00"), 3);
  Bytes oversized_length = with(9, 0x40);  // 16 KiB, past the 5840 agreed
  struct Case {
    const char* Name;
    std::vector<Bytes> Replies;
    DWORD Status;
    bool StillUsable;
  };
  const Case cases[] = {
      {"good", {good}, NO_ERROR, true},
      {"fault nca_s_op_rng_error", {fault}, smb::kRpcProcedureOutOfRange, true},
      {"fault with a Windows code", {windows_fault}, ERROR_ACCESS_DENIED, true},
      {"version 4", {with(0, 4)}, smb::kRpcProtocolError, false},
      {"big-endian integers", {with(4, 0x00)}, smb::kRpcProtocolError, false},
      {"authentication trailer", {with(10, 8)}, smb::kRpcProtocolError, false},
      {"fragment longer than agreed", {oversized_length}, smb::kRpcProtocolError, false},
      {"fragment shorter than its header", {with(8, 10)}, smb::kRpcProtocolError, false},
      {"another call's reply", {with(12, 9)}, smb::kRpcProtocolError, false},
      {"second fragment first", {with(3, 2)}, smb::kRpcProtocolError, false},
      {"a bind_ack instead", {with(2, 12)}, smb::kRpcProtocolError, false},
      {"reply cut short", {Bytes(good.begin(), good.end() - 2)}, ERROR_BROKEN_PIPE, false},
      {"pipe closed", {}, ERROR_BROKEN_PIPE, false},
      {"endless empty fragments", std::vector<Bytes>(100000, Response(2, 0, {})), smb::kRpcProtocolError, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.Name);
    std::deque<Bytes> replies{kBindAck};
    replies.insert(replies.end(), test.Replies.begin(), test.Replies.end());
    if (test.StillUsable) replies.push_back(Response(3, 3, Hex("00 00 00 00")));
    std::vector<Bytes> written;
    smb::RpcConnection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
    ASSERT_EQ(connection.Bind(smb::kWinregSyntax), NO_ERROR);
    Bytes stub;
    EXPECT_EQ(connection.Call(5, Bytes(20, 0), stub), test.Status);
    const std::size_t writes = written.size();
    EXPECT_EQ(connection.Call(5, Bytes(20, 0), stub), test.StillUsable ? NO_ERROR : test.Status);
    if (!test.StillUsable) {
      EXPECT_EQ(written.size(), writes);
    }
  }
}

TEST(SmbRpcTest, RefusedBindsEndInWindowsCodes) {
  const Bytes nak_busy = Hex("05 00 0d 03 10 00 00 00 14 00 00 00 01 00 00 00 01 00 00 00");
  Bytes refused_interface = kBindAck;
  refused_interface[44] = 2;  // provider rejection
  refused_interface[46] = 1;  // abstract syntax not supported
  Bytes refused_syntax = refused_interface;
  refused_syntax[46] = 2;
  Bytes tiny_fragments = kBindAck;
  tiny_fragments[17] = 0;                                    // 184-byte fragments
  Bytes cut_short(kBindAck.begin(), kBindAck.begin() + 40);  // no result list
  cut_short[8] = 40;
  const std::pair<Bytes, DWORD> cases[] = {
      {nak_busy, smb::kRpcServerTooBusy},
      {refused_interface, smb::kRpcUnknownInterface},
      {refused_syntax, smb::kRpcUnsupportedTransferSyntax},
      {tiny_fragments, smb::kRpcProtocolError},
      {cut_short, smb::kRpcProtocolError},
  };
  for (const auto& [reply, status] : cases) {
    std::deque<Bytes> replies{reply};
    std::vector<Bytes> written;
    smb::RpcConnection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
    EXPECT_EQ(connection.Bind(smb::kWinregSyntax), status);
  }
}

// The bind_ack gives the server's transmit size, then its receive size:
// requests are cut to what the server receives, whichever is smaller.
TEST(SmbRpcTest, RequestFragmentsFollowTheServersReceiveSize) {
  struct Case {
    std::uint16_t ServerTransmit;
    std::uint16_t ServerReceive;
    std::vector<std::size_t> FragmentSizes;
  };
  // A 3000-byte stub: 24 header bytes per fragment, stub parts a multiple
  // of 8 but the last.
  const Case cases[] = {
      {5840, 2048, {2048, 1000}},
      {2048, 5840, {3024}},
      {1024, 4280, {3024}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.ServerReceive);
    Bytes ack = kBindAck;
    ack[16] = static_cast<std::uint8_t>(test.ServerTransmit);
    ack[17] = static_cast<std::uint8_t>(test.ServerTransmit >> 8);
    ack[18] = static_cast<std::uint8_t>(test.ServerReceive);
    ack[19] = static_cast<std::uint8_t>(test.ServerReceive >> 8);
    std::deque<Bytes> replies{ack, Response(2, 3, Hex("00 00 00 00"))};
    std::vector<Bytes> written;
    smb::RpcConnection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
    ASSERT_EQ(connection.Bind(smb::kWinregSyntax), NO_ERROR);
    Bytes stub;
    ASSERT_EQ(connection.Call(17, Bytes(3000, 0xAB), stub), NO_ERROR);
    std::vector<std::size_t> sizes;
    for (std::size_t index = 1; index < written.size(); ++index) sizes.push_back(written[index].size());
    EXPECT_EQ(sizes, test.FragmentSizes);
  }
}

// Each winreg reply as the protocol lays it out, decoded; then every
// shorter cut of it, which must be refused as bad stub data, never read.
TEST(SmbRpcTest, WinregRepliesDecodeAndTheirTruncationsAreRefused) {
  std::u16string name;
  FILETIME written{};
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
  ASSERT_EQ(smb::winreg::DecodeEnumKeyReply(samba_enum_key, smb::winreg::kKeyNameRoom, name, written), NO_ERROR);
  EXPECT_EQ(name, u"App1");
  smb::winreg::ValueReply samba_value;
  ASSERT_EQ(smb::winreg::DecodeQueryValueReply(samba_query_value, 8192, samba_value), NO_ERROR);
  EXPECT_EQ(samba_value.Size, 36u);
  EXPECT_EQ(samba_value.Data.substr(0, 4), std::string("F\0i\0", 4));

  const Bytes no_more = Hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 03 01 00 00");

  ASSERT_EQ(smb::winreg::DecodeEnumKeyReply(enum_key, smb::winreg::kKeyNameRoom, name, written), NO_ERROR);
  EXPECT_EQ(name, u"Ab");
  EXPECT_EQ(written.dwHighDateTime, 0x01d00000u);
  EXPECT_EQ(smb::winreg::DecodeEnumKeyReply(no_more, smb::winreg::kKeyNameRoom, name, written), ERROR_NO_MORE_ITEMS);
  lan::KeyFacts facts;
  ASSERT_EQ(smb::winreg::DecodeQueryInfoKeyReply(query_info, facts), NO_ERROR);
  EXPECT_EQ(facts.SubkeyCount, 150u);
  EXPECT_EQ(facts.LongestValueData, 64u);
  EXPECT_EQ(facts.LastWritten.dwLowDateTime, 0x55667788u);
  smb::ContextHandle handle;
  ASSERT_EQ(smb::winreg::DecodeHandleReply(open_key, handle), NO_ERROR);
  EXPECT_EQ(handle.Bytes[0], 0x42);

  // Each decoder gives its status and what it read, as text.
  using Decoder = std::string (*)(const Bytes&);
  static const auto enum_decoder = [](const Bytes& stub) {
    std::u16string text = u"untouched";
    FILETIME time{};
    const DWORD status = smb::winreg::DecodeEnumKeyReply(stub, smb::winreg::kKeyNameRoom, text, time);
    return std::to_string(status) + " " + std::string(text.begin(), text.end()) + " " +
           std::to_string(time.dwHighDateTime);
  };
  const std::pair<Bytes, Decoder> replies[] = {
      {enum_key, enum_decoder},
      {samba_enum_key, enum_decoder},
      {query_info,
       [](const Bytes& stub) {
         lan::KeyFacts read;
         const DWORD status = smb::winreg::DecodeQueryInfoKeyReply(stub, read);
         return std::to_string(status) + " " + std::to_string(read.SubkeyCount) + " " +
                std::to_string(read.LastWritten.dwLowDateTime);
       }},
      {open_key,
       [](const Bytes& stub) {
         smb::ContextHandle read;
         const DWORD status = smb::winreg::DecodeHandleReply(stub, read);
         return std::to_string(status) + " " + std::to_string(read.Bytes[0]);
       }},
      {kQueryValueStub,
       [](const Bytes& stub) {
         smb::winreg::ValueReply read;
         const DWORD status = smb::winreg::DecodeQueryValueReply(stub, 8192, read);
         return std::to_string(status) + " " + std::to_string(read.Size) + " " + read.Data;
       }},
  };
  const std::string refused = std::to_string(smb::kRpcBadStubData);
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
  smb::winreg::ValueReply value;
  EXPECT_EQ(smb::winreg::DecodeQueryValueReply(claims_more, 8192, value), smb::kRpcBadStubData);
  EXPECT_EQ(smb::winreg::DecodeEnumKeyReply(beyond_maximum, smb::winreg::kKeyNameRoom, name, written),
            smb::kRpcBadStubData);
  EXPECT_EQ(smb::winreg::DecodeQueryValueReply(size_mismatch, 8192, value), smb::kRpcBadStubData);

  // A reply that holds more than the request made room for: a name of 3
  // units (its zero counted) or 6 bytes of data need room for them.
  EXPECT_EQ(smb::winreg::DecodeEnumKeyReply(enum_key, 6, name, written), NO_ERROR);
  EXPECT_EQ(smb::winreg::DecodeEnumKeyReply(enum_key, 4, name, written), smb::kRpcProtocolError);
  EXPECT_EQ(smb::winreg::DecodeQueryValueReply(kQueryValueStub, 6, value), NO_ERROR);
  EXPECT_EQ(smb::winreg::DecodeQueryValueReply(kQueryValueStub, 5, value), smb::kRpcProtocolError);
}

}  // namespace
