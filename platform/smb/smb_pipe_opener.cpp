#include "platform/smb/smb_pipe_opener.h"

#include <fcntl.h>
#include <libsmbclient.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <string>

#include "platform/lan/utf16_text.h"
#include "platform/smb/address_probe.h"
#include "platform/smb/rpc/fragment_reader.h"
#include "platform/smb/smb_context.h"
#include "platform/smb/smb_errors.h"
#include "platform/smb/smb_pipe_opener_test_helper.h"
#include "platform/smb/smb_url.h"
#include "platform/smb/socket_deadline.h"

namespace smb {

class SmbMessagePipe;

// The pipes that Cancel shuts. The pipes hold it too, so that one
// outliving its opener still leaves it.
class OpenedPipes {
 public:
  bool Cancelled() {
    const std::lock_guard lock(mutex_);
    return cancelled_;
  }
  void Add(SmbMessagePipe& pipe);
  void Remove(SmbMessagePipe& pipe) {
    const std::lock_guard lock(mutex_);
    pipes_.erase(&pipe);
  }
  void Cancel();

 private:
  std::mutex mutex_;
  bool cancelled_ = false;
  std::set<SmbMessagePipe*> pipes_;
};

namespace {

std::atomic<std::uint64_t> opens{0};
std::atomic<std::uint64_t> writes{0};
std::atomic<std::uint64_t> reads{0};

}  // namespace

// A pipe over libsmbclient. A call's deadline is checked before each
// libsmbclient read and write and, where the connection's socket is known,
// ends one that is still waiting then (socket_deadline.h).
class SmbMessagePipe : public rpc::MessagePipe {
 public:
  SmbMessagePipe(std::unique_ptr<SmbContext> context, SMBCFILE* file, int socket, std::shared_ptr<OpenedPipes> opened)
      : context_(std::move(context)), file_(file), watch_(socket), opened_(std::move(opened)) {
    opened_->Add(*this);
  }

  ~SmbMessagePipe() override {
    opened_->Remove(*this);
    if (file_ == nullptr) return;
    const std::unique_lock lock = LockForTransfer();
    smbc_getFunctionClose(context_->Get())(context_->Get(), file_);
  }

  DWORD Write(std::span<const std::uint8_t> message) override {
    const auto write = smbc_getFunctionWrite(context_->Get());
    return Transfer(message, writes, [&](std::span<const std::uint8_t> rest) {
      return write(context_->Get(), file_, rest.data(), rest.size());
    });
  }

  // One DCE/RPC fragment at a time: see rpc/fragment_reader.h.
  DWORD Read(std::span<std::uint8_t> buffer, std::size_t& received) override {
    if (file_ == nullptr) return ERROR_BROKEN_PIPE;
    return fragments_.Read(buffer, received);
  }

  void SetDeadline(std::chrono::steady_clock::time_point deadline) override { deadline_ = deadline; }

  // From any thread, while the pipe is registered with its opener.
  void Shut() { watch_.ShutNow(); }

 private:
  DWORD ReadExactly(std::span<std::uint8_t> bytes) {
    const auto read = smbc_getFunctionRead(context_->Get());
    return Transfer(bytes, reads, [&](std::span<std::uint8_t> rest) {
      return read(context_->Get(), file_, rest.data(), rest.size());
    });
  }

  // Moves all of `bytes` with `request` (one libsmbclient read or write of
  // what is left), counting each request in `requests`.
  template <class Bytes, class Request>
  DWORD Transfer(Bytes bytes, std::atomic<std::uint64_t>& requests, Request request) {
    if (file_ == nullptr) return ERROR_BROKEN_PIPE;
    while (!bytes.empty()) {
      requests.fetch_add(1, std::memory_order_relaxed);
      if (std::chrono::steady_clock::now() >= deadline_) return Failed(ETIMEDOUT);
      ssize_t moved = 0;
      int error = 0;
      {
        const std::unique_lock lock = LockForTransfer();
        watch_.Arm(deadline_);
        errno = 0;
        moved = request(bytes);
        error = errno;
      }
      if (watch_.Disarm()) return Failed(ETIMEDOUT);
      if (moved <= 0) return Failed(moved < 0 ? error : EPIPE);
      bytes = bytes.subspan(std::min(static_cast<std::size_t>(moved), bytes.size()));
    }
    return NO_ERROR;
  }

  // After a failed transfer the pipe is gone for good: a later call does
  // not wait for a server that already failed once.
  DWORD Failed(int error) {
    {
      const std::unique_lock lock = LockForTransfer();
      smbc_getFunctionClose(context_->Get())(context_->Get(), file_);
    }
    file_ = nullptr;
    return WindowsErrorFromErrno(error, SmbStep::kTransfer);
  }

  std::unique_ptr<SmbContext> context_;
  SMBCFILE* file_;
  SocketDeadline watch_;
  // No deadline until a call sets one: libsmbclient's own time limit
  // bounds each request.
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  rpc::FragmentReader fragments_{[this](std::span<std::uint8_t> bytes) { return ReadExactly(bytes); }};
  std::shared_ptr<OpenedPipes> opened_;
};

void OpenedPipes::Add(SmbMessagePipe& pipe) {
  const std::lock_guard lock(mutex_);
  pipes_.insert(&pipe);
  if (cancelled_) pipe.Shut();
}

void OpenedPipes::Cancel() {
  const std::lock_guard lock(mutex_);
  cancelled_ = true;
  for (SmbMessagePipe* pipe : pipes_) pipe->Shut();
}

namespace {

bool IsPlainName(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  for (const char c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

}  // namespace

PipeTraffic PipeTrafficSoFar() {
  return {opens.load(std::memory_order_relaxed), writes.load(std::memory_order_relaxed),
          reads.load(std::memory_order_relaxed)};
}

SmbPipeOpener::SmbPipeOpener(SmbSettings settings, std::shared_ptr<Reachability> reachability)
    : settings_(std::move(settings)),
      reachability_(reachability != nullptr
                        ? std::move(reachability)
                        : std::make_shared<Reachability>(std::chrono::milliseconds(settings_.TimeoutMilliseconds))),
      opened_(std::make_shared<OpenedPipes>()) {}

SmbPipeOpener::~SmbPipeOpener() = default;

void SmbPipeOpener::Cancel() {
  reachability_->Cancel();
  opened_->Cancel();
}

DWORD SmbPipeOpener::Open(std::u16string_view server, std::string_view pipe_name,
                          std::unique_ptr<rpc::MessagePipe>& pipe) {
  const std::string host = lan::Utf8FromUtf16(server, lan::Undecodable::kReplaced);
  if (!IsPlainName(host)) return ERROR_BAD_NETPATH;
  if (!IsPlainName(pipe_name)) return ERROR_INVALID_NAME;
  if (opened_->Cancelled()) return kErrorCancelled;
  switch (reachability_->Reach(host)) {
    case ProbeResult::kCancelled:
      return kErrorCancelled;
    case ProbeResult::kSilent:
      // As libsmbclient's own connection would have timed out.
      return WindowsErrorFromErrno(ETIMEDOUT, SmbStep::kOpen);
    case ProbeResult::kAnswered:
      break;
  }
  std::unique_ptr<SmbContext> context = SmbContext::Create(settings_, ContextPurpose::kPipes);
  if (context == nullptr) return errno == ENETDOWN ? ERROR_NO_NETWORK : ERROR_NOT_ENOUGH_MEMORY;
  const std::string url = "smb://" + UrlEncoded(host) + "/IPC$/" + UrlEncoded(pipe_name);
  opens.fetch_add(1, std::memory_order_relaxed);
  SMBCFILE* file = nullptr;
  int error = 0;
  int socket = -1;
  {
    // Every libsmbclient connection is made under this lock, so the one
    // TCP socket that appears meanwhile is this pipe's.
    const std::unique_lock lock = LockForConnecting();
    context->SelectProtocols();
    const SocketSet before = TcpSockets();
    errno = 0;
    file = smbc_getFunctionOpen(context->Get())(context->Get(), url.c_str(), O_RDWR, 0);
    error = errno;
    if (file != nullptr) socket = DuplicateNewSocket(before, TcpSockets());
  }
  if (file == nullptr) return WindowsErrorFromErrno(error, SmbStep::kOpen);
  pipe = std::make_unique<SmbMessagePipe>(std::move(context), file, socket, opened_);
  return NO_ERROR;
}

std::chrono::milliseconds SmbPipeOpener::CallTimeLimit() const {
  return std::chrono::milliseconds(settings_.TimeoutMilliseconds);
}

}  // namespace smb
