// Feeds arbitrary bytes to the remote registry client as a server's
// replies: the bind reply and each winreg reply decoder on their own, then
// the whole client over a pipe that hands the bytes out in reads of a size
// the input chooses, through a connect and the calls of an inventory.
// Neither may crash, hang, read out of bounds or allocate what the bytes
// cannot back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>

#include "platform/smb/rpc/pdu.h"
#include "platform/smb/winreg/messages.h"
#include "platform/smb/winreg/registry.h"

namespace {

class ReplayPipe : public rpc::MessagePipe {
 public:
  ReplayPipe(std::span<const std::uint8_t> replies, std::size_t chunk) : replies_(replies), chunk_(chunk) {}
  DWORD Write(std::span<const std::uint8_t>) override { return NO_ERROR; }
  DWORD Read(std::span<std::uint8_t> buffer, std::size_t& received) override {
    if (replies_.empty()) return ERROR_BROKEN_PIPE;
    received = std::min({buffer.size(), replies_.size(), chunk_});
    std::copy_n(replies_.begin(), received, buffer.begin());
    replies_ = replies_.subspan(received);
    return NO_ERROR;
  }

 private:
  std::span<const std::uint8_t> replies_;
  std::size_t chunk_;
};

class ReplayOpener : public rpc::PipeOpener {
 public:
  ReplayOpener(std::span<const std::uint8_t> replies, std::size_t chunk) : replies_(replies), chunk_(chunk) {}
  DWORD Open(std::u16string_view, std::string_view, std::unique_ptr<rpc::MessagePipe>& pipe) override {
    pipe = std::make_unique<ReplayPipe>(replies_, chunk_);
    return NO_ERROR;
  }
  std::chrono::milliseconds CallTimeLimit() const override { return std::chrono::minutes(1); }

 private:
  std::span<const std::uint8_t> replies_;
  std::size_t chunk_;
};

void DecodeEveryReply(std::span<const std::uint8_t> stub) {
  rpc::ContextHandle handle;
  winreg::DecodeHandleReply(stub, handle);
  winreg::DecodeCloseReply(stub);
  winreg::EnumKeyReply listed;
  winreg::DecodeEnumKeyReply(stub, winreg::kKeyNameRoom, listed);
  winreg::QueryInfoKeyReply info;
  winreg::DecodeQueryInfoKeyReply(stub, info);
  winreg::QueryValueReply value;
  winreg::DecodeQueryValueReply(stub, 8192, value);
  rpc::BindAgreement agreement;
  rpc::ParseBindReply(stub, 1, agreement);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> input(data, size);
  DecodeEveryReply(input.subspan(1));

  // The first byte sets the size of the pipe's reads (0: whole fragments).
  const std::size_t chunk = input[0] == 0 ? SIZE_MAX : input[0];
  ReplayOpener opener(input.subspan(1), chunk);
  winreg::RegistryOptions options;
  options.ReadAheadPipes = 0;
  std::ostream diagnostics(nullptr);
  std::unique_ptr<winreg::Registry> registry;
  if (winreg::Registry::Connect(opener, u"PC", HKEY_LOCAL_MACHINE, options, diagnostics, registry) != NO_ERROR) {
    return 0;
  }
  lan::RemoteRegistry::KeyId key = 0;
  if (registry->OpenKey(lan::RemoteRegistry::kRootKey, u"Software\\Uninstall", KEY_READ, key) != NO_ERROR) return 0;
  lan::KeyFacts facts;
  registry->QueryKeyFacts(key, facts);
  for (DWORD index = 0; index < 3; ++index) {
    std::u16string name;
    FILETIME written{};
    registry->EnumKey(key, index, name, written);
  }
  DWORD type = 0, value_size = 0;
  std::string value;
  registry->QueryValue(key, u"DisplayName", false, type, value_size, value);
  registry->QueryValue(key, u"DisplayName", true, type, value_size, value);
  registry->CloseKey(key);
  return 0;
}
