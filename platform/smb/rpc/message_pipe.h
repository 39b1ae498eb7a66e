// A named pipe to a service on a remote computer, as the remote registry
// client speaks DCE/RPC over it: the client writes one request fragment as
// one message and reads the server's reply fragments back. The SMB client
// opens these pipes; tests replace them with scripted servers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/windows_api.h"

namespace rpc {

class MessagePipe {
 public:
  virtual ~MessagePipe() = default;

  // Writes `message` whole, or fails. Returns a Windows error code.
  virtual DWORD Write(std::span<const std::uint8_t> message) = 0;

  // Reads what the server has sent, at most buffer.size() bytes, waiting
  // (within the deadline) until at least one byte is there. On NO_ERROR,
  // `received` is between 1 and buffer.size(). A pipe that the server
  // closed gives ERROR_BROKEN_PIPE, a time limit ERROR_TIMEOUT.
  virtual DWORD Read(std::span<std::uint8_t> buffer, std::size_t& received) = 0;

  // The time by which the call that starts now must be done: a write or
  // read still waiting then fails with ERROR_TIMEOUT. The connection also
  // checks the time before each write and read, so a pipe whose writes
  // and reads never wait need not keep it.
  virtual void SetDeadline(std::chrono::steady_clock::time_point deadline) { static_cast<void>(deadline); }
};

// Opens pipes to the computers of one network, so that a client can hold
// several pipes to the same computer at once.
class PipeOpener {
 public:
  virtual ~PipeOpener() = default;

  // Opens the pipe `\pipe\<pipe_name>` (for example "winreg") on the
  // computer `server` (its name without leading backslashes). Errors as
  // Windows gives them for the same failure: ERROR_BAD_NETPATH for a name
  // that does not resolve or a computer that does not answer,
  // ERROR_ACCESS_DENIED / ERROR_LOGON_FAILURE for refused credentials,
  // ERROR_FILE_NOT_FOUND for a service that is not running.
  virtual DWORD Open(std::u16string_view server, std::string_view pipe_name, std::unique_ptr<MessagePipe>& pipe) = 0;

  // How long one call over its pipes may take, from its request to the
  // last byte of its reply.
  virtual std::chrono::milliseconds CallTimeLimit() const = 0;

  // Ends at once the opens under way and the calls waiting on the pipes
  // opened so far, which then fail; later opens fail too. For the end of a
  // run: nothing opened here is used after it.
  virtual void Cancel() {}
};

}  // namespace rpc
