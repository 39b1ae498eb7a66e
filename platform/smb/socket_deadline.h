// Ends a wait inside libsmbclient at a deadline. libsmbclient bounds each
// SMB request by its time limit, but one read of a pipe may take any number
// of requests (a server may answer each with a single byte), so a read as a
// whole has no limit. A SocketDeadline holds a duplicate descriptor of the
// connection's socket and, while armed, shuts the socket down once the
// deadline passes: libsmbclient then finds the connection closed and its
// read returns at once. One thread serves every armed deadline.
//
// libsmbclient does not tell which socket a connection uses: the pipe
// opener compares the process's TCP sockets before and after it connects,
// while it holds the lock that every libsmbclient connection is made under.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <utility>
#include <vector>

namespace smb {

// The TCP sockets that the process holds: descriptor and inode of each.
using SocketSet = std::vector<std::pair<int, ino_t>>;
SocketSet TcpSockets();

// A duplicate descriptor (close-on-exec) of the one TCP socket of `after`
// that `before` did not hold; -1 when there is no such socket, or more
// than one.
int DuplicateNewSocket(const SocketSet& before, const SocketSet& after);

class SocketDeadline {
 public:
  // Takes `socket` (a descriptor of its own, or -1 for none: then arming
  // does nothing).
  explicit SocketDeadline(int socket) : socket_(socket) {}
  ~SocketDeadline();
  SocketDeadline(const SocketDeadline&) = delete;
  SocketDeadline& operator=(const SocketDeadline&) = delete;

  // From now until Disarm, the socket is shut down at `deadline`.
  void Arm(std::chrono::steady_clock::time_point deadline);
  // True when the deadline passed while armed: the socket is shut down.
  bool Disarm();
  // Shuts the socket down now, from any thread: a transfer waiting on it
  // ends at once.
  void ShutNow();

 private:
  friend class DeadlineWatcher;
  const int socket_;
  bool expired_ = false;  // guarded by the watcher's lock
};

}  // namespace smb
