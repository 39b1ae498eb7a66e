// One DCE/RPC association over one message pipe: binds to an interface,
// then makes calls one at a time, each a request (split into fragments as
// the bind agreed) and a response (joined from its fragments).
//
// Each fragment is read as its 16-byte header, then the rest, in as many
// reads as the pipe needs; nothing past the fragment is asked for. Each
// bind and each call has a deadline, its time limit from the moment it
// starts: however the server spreads its reply over reads, a call that is
// not done by then fails with ERROR_TIMEOUT. A failure that leaves the
// association out of step (a pipe error, a time limit, a malformed or
// oversized reply, a refused bind) breaks the connection: every later call
// fails at once with the same code.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/rpc/pdu.h"

namespace rpc {

class Connection {
 public:
  Connection(std::unique_ptr<MessagePipe> pipe, std::chrono::milliseconds time_limit)
      : pipe_(std::move(pipe)), time_limit_(time_limit) {}

  DWORD Bind(const SyntaxId& interface_syntax);

  // Calls `opnum` with the request stub and gives the response stub, or a
  // Windows code (a fault's translated status included).
  DWORD Call(std::uint16_t opnum, std::span<const std::uint8_t> request, std::vector<std::uint8_t>& response);

  // Calls made (requests sent), binds not counted.
  std::uint64_t CallCount() const { return calls_; }
  bool Broken() const { return broken_ != NO_ERROR; }

 private:
  void StartDeadline();
  DWORD Write(std::span<const std::uint8_t> message);
  DWORD ReadExactly(std::span<std::uint8_t> bytes);
  DWORD ReadFragment(std::size_t max_fragment, std::vector<std::uint8_t>& fragment);
  DWORD Break(DWORD error);

  std::unique_ptr<MessagePipe> pipe_;
  const std::chrono::milliseconds time_limit_;
  std::chrono::steady_clock::time_point deadline_;
  BindAgreement agreement_;
  bool bound_ = false;
  DWORD broken_ = NO_ERROR;
  std::uint32_t next_call_id_ = 1;
  std::uint64_t calls_ = 0;
};

}  // namespace rpc
