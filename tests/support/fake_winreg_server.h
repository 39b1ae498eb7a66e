// A winreg server in memory for the remote registry client's tests: it
// answers bind and the registry calls from a tree of keys, over pipes that
// it hands out as a PipeOpener. Replies can be cut into small fragments and
// handed out in small reads, every write and read can be delayed (to stand
// for a link's round trips), and the server can fail on request.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/winreg/messages.h"

namespace smbtest {

struct FakeKey {
  std::vector<std::u16string> Subkeys;  // in enumeration order
  struct Value {
    DWORD Type = REG_SZ;
    std::string Data;
  };
  std::map<std::u16string, Value> Values;
  bool Denied = false;                                    // opening it gives ERROR_ACCESS_DENIED
  std::optional<winreg::QueryInfoKeyReply> ClaimedFacts;  // what its facts say instead of the truth
};

struct FakeServerOptions {
  std::size_t FragmentStub = 5816;                 // stub bytes per response fragment
  std::size_t ReadChunk = 0;                       // 0: a read gives a whole fragment
  std::chrono::microseconds Delay{0};              // added to every write and read
  bool HeaderFirst = false;                        // a fragment header comes in a read of its own
  std::chrono::microseconds OpenDelay{0};          // added to every pipe opened
  std::size_t Pipes = 100;                         // pipes the opener hands out
  std::int64_t CallsBeforeDeath = -1;              // calls answered before all pipes break
  bool IgnoresRoom = false;                        // names and data are sent whole, whatever room was offered
  std::chrono::milliseconds CallTimeLimit{60000};  // what the opener gives its pipes' calls
  std::int64_t TrickleFromCall = -1;               // replies from this call on come a byte per read...
  std::chrono::microseconds TrickleDelay{0};       // ...each after this delay
};

class FakeWinregServer : public rpc::PipeOpener {
 public:
  explicit FakeWinregServer(FakeServerOptions options = {}) : options_(options) {}

  // Keys by path from the root ("" is the root); a key's subkeys must be
  // added as keys too.
  std::map<std::u16string, FakeKey> Keys;

  // A tree like a computer's uninstall key (testsupport::kUninstallPath)
  // with `count` applications, each with a display name (and one in ten
  // without).
  void AddApplications(std::size_t count);

  DWORD Open(std::u16string_view server, std::string_view pipe_name, std::unique_ptr<rpc::MessagePipe>& pipe) override;

  std::chrono::milliseconds CallTimeLimit() const override { return options_.CallTimeLimit; }

  std::size_t PipesOpened() const { return opened_; }
  std::uint64_t CallsAnswered() const { return calls_; }
  std::uint64_t ReadsAnswered() const { return reads_; }
  void CountRead() { ++reads_; }
  // Writes and reads that reached a pipe once the server was dead, each
  // failing with ERROR_BROKEN_PIPE.
  std::uint64_t UsesAfterDeath() const { return uses_after_death_; }
  void CountUseAfterDeath() { ++uses_after_death_; }

  // Answers one request fragment stream: used by the pipes.
  std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request_stub, std::uint16_t opnum,
                                   std::map<std::string, std::u16string>& handles, bool& fault);
  bool Dead();
  const FakeServerOptions& Options() const { return options_; }

 private:
  FakeServerOptions options_;
  std::atomic<std::size_t> opened_{0};
  std::atomic<std::uint64_t> calls_{0};
  std::atomic<std::uint64_t> reads_{0};
  std::atomic<std::uint64_t> uses_after_death_{0};
  std::atomic<std::uint32_t> next_handle_{1};
};

}  // namespace smbtest
