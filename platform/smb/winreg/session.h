// The winreg calls on one association: binds, opens the root, and makes
// the registry calls that the client needs, each one RPC. A subkey name is
// asked for with room for the registry's longest key name; a reply that
// holds more than a request made room for fails that call with
// RPC_S_PROTOCOL_ERROR and leaves the association in step.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/smb/rpc/connection.h"
#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/winreg/messages.h"

namespace winreg {

// The access that a root is opened with: what the caller's rights allow,
// as Windows' own remote registry connection asks.
constexpr REGSAM kMaximumAllowed = 0x02000000;

class Session {
 public:
  // Each call over `pipe` may take `time_limit`, its whole reply read.
  Session(std::unique_ptr<rpc::MessagePipe> pipe, std::chrono::milliseconds time_limit)
      : connection_(std::move(pipe), time_limit) {}

  // Binds to winreg and opens `root` (HKEY_LOCAL_MACHINE or HKEY_USERS).
  DWORD Connect(HKEY root, rpc::ContextHandle& root_handle);

  DWORD OpenKey(const rpc::ContextHandle& parent, std::u16string_view path, REGSAM access, rpc::ContextHandle& key);
  DWORD CloseKey(const rpc::ContextHandle& key);
  DWORD EnumKey(const rpc::ContextHandle& key, DWORD index, EnumKeyReply& reply);
  DWORD QueryInfoKey(const rpc::ContextHandle& key, QueryInfoKeyReply& reply);
  DWORD QueryValue(const rpc::ContextHandle& key, std::u16string_view name, std::uint32_t data_room,
                   QueryValueReply& reply);

  // True when the last call's result is the registry's own answer: the
  // server replied, and the reply was read.
  bool LastCallAnswered() const { return answered_; }
  // True once the association is out of step: every call fails at once.
  bool Broken() const { return connection_.Broken(); }
  std::uint64_t CallCount() const { return calls_.load(std::memory_order_relaxed); }

 private:
  // Makes the call and gives the decoder's status for its reply, which
  // says whether the registry answered.
  template <class Decode>
  DWORD Exchange(Opnum opnum, const std::vector<std::uint8_t>& request, Decode decode);

  rpc::Connection connection_;
  bool answered_ = false;
  std::atomic<std::uint64_t> calls_{0};
};

}  // namespace winreg
