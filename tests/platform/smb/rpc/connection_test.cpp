// The DCE/RPC association, byte for byte: PDUs written from the protocol's
// layouts replayed through a scripted pipe, and every way a reply can be
// malformed, cut short or oversized ending in a Windows error code.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/smb/rpc/connection.h"
#include "platform/smb/rpc/status.h"
#include "tests/support/hex_bytes.h"

namespace {

using testsupport::Bytes;
using testsupport::Hex;
using testsupport::Join;

// An interface to bind to: the remote registry's, winreg 1.0.
const rpc::SyntaxId kInterface{
    {0x01, 0xd0, 0x8c, 0x33, 0x44, 0x22, 0xf1, 0x31, 0xaa, 0xaa, 0x90, 0x00, 0x38, 0x00, 0x10, 0x03}, 1};

// A time limit that a scripted pipe never reaches.
constexpr std::chrono::milliseconds kNoHurry{60000};

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
class ScriptedPipe : public rpc::MessagePipe {
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

// A reply's stub of 44 bytes, 0 to 43.
Bytes ReplyStub() {
  Bytes stub(44);
  for (std::size_t index = 0; index < stub.size(); ++index) stub[index] = static_cast<std::uint8_t>(index);
  return stub;
}

TEST(RpcConnectionTest, BindAndRequestsAreWrittenAsTheProtocolLaysThemOut) {
  const Bytes bind =
      Hex("05 00 0b 03 10 00 00 00 48 00 00 00 07 00 00 00"
          "d0 16 d0 16 00 00 00 00"
          "01 00 00 00 00 00 01 00"
          "01 d0 8c 33 44 22 f1 31 aa aa 90 00 38 00 10 03 01 00 00 00"
          "04 5d 88 8a eb 1c c9 11 9f e8 08 00 2b 10 48 60 02 00 00 00");
  EXPECT_EQ(rpc::EncodeBind(7, kInterface), bind);

  // A 10000-byte stub over 4280-byte fragments: 4256 + 4256 + 1488 stub
  // bytes, allocation hints counting down, first and last flagged.
  const Bytes stub(10000, 0xAB);
  const auto fragments = rpc::EncodeRequest(9, 17, stub, 4280);
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
}

TEST(RpcConnectionTest, MultiFragmentReplyInOddPiecesIsJoined) {
  std::deque<Bytes> replies;
  std::vector<Bytes> written;
  // The bind_ack in two reads; then the reply in two fragments, the first
  // fragment and the start of the second in one read.
  replies.push_back(Bytes(kBindAck.begin(), kBindAck.begin() + 5));
  replies.push_back(Bytes(kBindAck.begin() + 5, kBindAck.end()));
  const Bytes reply_stub = ReplyStub();
  const Bytes first = Response(2, 1, Bytes(reply_stub.begin(), reply_stub.begin() + 20));
  const Bytes second = Response(2, 2, Bytes(reply_stub.begin() + 20, reply_stub.end()));
  const Bytes both = Join({first, second});
  replies.push_back(Bytes(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(first.size() + 3)));
  replies.push_back(Bytes(both.begin() + static_cast<std::ptrdiff_t>(first.size() + 3), both.end()));
  rpc::Connection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
  ASSERT_EQ(connection.Bind(kInterface), NO_ERROR);
  Bytes stub;
  ASSERT_EQ(connection.Call(17, Bytes(40, 0), stub), NO_ERROR);
  EXPECT_EQ(stub, reply_stub);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[1][12], 2);  // the call id
}

TEST(RpcConnectionTest, BadRepliesEndInWindowsCodes) {
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
      {"fault nca_s_op_rng_error", {fault}, rpc::kRpcProcedureOutOfRange, true},
      {"fault with a Windows code", {windows_fault}, ERROR_ACCESS_DENIED, true},
      {"version 4", {with(0, 4)}, rpc::kRpcProtocolError, false},
      {"big-endian integers", {with(4, 0x00)}, rpc::kRpcProtocolError, false},
      {"authentication trailer", {with(10, 8)}, rpc::kRpcProtocolError, false},
      {"fragment longer than agreed", {oversized_length}, rpc::kRpcProtocolError, false},
      {"fragment shorter than its header", {with(8, 10)}, rpc::kRpcProtocolError, false},
      {"another call's reply", {with(12, 9)}, rpc::kRpcProtocolError, false},
      {"second fragment first", {with(3, 2)}, rpc::kRpcProtocolError, false},
      {"a bind_ack instead", {with(2, 12)}, rpc::kRpcProtocolError, false},
      {"reply cut short", {Bytes(good.begin(), good.end() - 2)}, ERROR_BROKEN_PIPE, false},
      {"pipe closed", {}, ERROR_BROKEN_PIPE, false},
      {"endless empty fragments", std::vector<Bytes>(100000, Response(2, 0, {})), rpc::kRpcProtocolError, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.Name);
    std::deque<Bytes> replies{kBindAck};
    replies.insert(replies.end(), test.Replies.begin(), test.Replies.end());
    if (test.StillUsable) replies.push_back(Response(3, 3, Hex("00 00 00 00")));
    std::vector<Bytes> written;
    rpc::Connection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
    ASSERT_EQ(connection.Bind(kInterface), NO_ERROR);
    Bytes stub;
    EXPECT_EQ(connection.Call(5, Bytes(20, 0), stub), test.Status);
    const std::size_t writes = written.size();
    EXPECT_EQ(connection.Call(5, Bytes(20, 0), stub), test.StillUsable ? NO_ERROR : test.Status);
    if (!test.StillUsable) {
      EXPECT_EQ(written.size(), writes);
    }
  }
}

TEST(RpcConnectionTest, RefusedBindsEndInWindowsCodes) {
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
      {nak_busy, rpc::kRpcServerTooBusy},
      {refused_interface, rpc::kRpcUnknownInterface},
      {refused_syntax, rpc::kRpcUnsupportedTransferSyntax},
      {tiny_fragments, rpc::kRpcProtocolError},
      {cut_short, rpc::kRpcProtocolError},
  };
  for (const auto& [reply, status] : cases) {
    std::deque<Bytes> replies{reply};
    std::vector<Bytes> written;
    rpc::Connection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
    EXPECT_EQ(connection.Bind(kInterface), status);
  }
}

// The bind_ack gives the server's transmit size, then its receive size:
// requests are cut to what the server receives, whichever is smaller.
TEST(RpcConnectionTest, RequestFragmentsFollowTheServersReceiveSize) {
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
    rpc::Connection connection(std::make_unique<ScriptedPipe>(replies, written), kNoHurry);
    ASSERT_EQ(connection.Bind(kInterface), NO_ERROR);
    Bytes stub;
    ASSERT_EQ(connection.Call(17, Bytes(3000, 0xAB), stub), NO_ERROR);
    std::vector<std::size_t> sizes;
    for (std::size_t index = 1; index < written.size(); ++index) sizes.push_back(written[index].size());
    EXPECT_EQ(sizes, test.FragmentSizes);
  }
}

}  // namespace
