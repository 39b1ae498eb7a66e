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

#include "platform/lan/lan_source.h"
#include "platform/smb/rpc/connection.h"
#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/winreg/messages.h"

namespace smb {

// The access that a root is opened with: what the caller's rights allow,
// as Windows' own remote registry connection asks.
constexpr REGSAM kMaximumAllowed = 0x02000000;

class WinregSession {
 public:
  // Each call over `pipe` may take `time_limit`, its whole reply read.
  WinregSession(std::unique_ptr<MessagePipe> pipe, std::chrono::milliseconds time_limit)
      : connection_(std::move(pipe), time_limit) {}

  // Binds to winreg and opens `root` (HKEY_LOCAL_MACHINE or HKEY_USERS).
  DWORD Connect(HKEY root, ContextHandle& root_handle);

  DWORD OpenKey(const ContextHandle& parent, std::u16string_view path, REGSAM access, ContextHandle& key);
  DWORD CloseKey(const ContextHandle& key);
  DWORD EnumKey(const ContextHandle& key, DWORD index, std::u16string& name, FILETIME& last_written);
  DWORD QueryInfoKey(const ContextHandle& key, lan::KeyFacts& facts);
  DWORD QueryValue(const ContextHandle& key, std::u16string_view name, std::uint32_t data_room,
                   winreg::ValueReply& reply);

  // True when the last call's result is the registry's own answer: the
  // server replied, and the reply was read.
  bool LastCallAnswered() const { return answered_; }
  // True once the association is out of step: every call fails at once.
  bool Broken() const { return connection_.Broken(); }
  std::uint64_t CallCount() const { return calls_.load(std::memory_order_relaxed); }

 private:
  DWORD Call(winreg::Opnum opnum, const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>& response);
  DWORD Answered(DWORD status);

  RpcConnection connection_;
  bool answered_ = false;
  std::atomic<std::uint64_t> calls_{0};
};

}  // namespace smb
