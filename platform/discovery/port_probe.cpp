#include "platform/discovery/port_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/lan/opened_file.h"

namespace discovery {
namespace {

using Clock = std::chrono::steady_clock;

struct Attempt {
  int Socket = -1;
  std::size_t Index = 0;  // of the address, in probing order
  Clock::time_point Deadline;
};

// Starts a connect to `address`: the socket of a connect under way, or -1
// with `answered` set where it finished at once, or `error` where no
// socket could be made.
int StartConnect(std::uint32_t address, std::uint16_t port, bool& answered, int& error) {
  answered = false;
  error = 0;
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket < 0) {
    error = errno;
    return -1;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(address);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
    answered = true;
  } else if (errno == EINPROGRESS) {
    return socket;
  }
  ::close(socket);
  return -1;
}

}  // namespace

std::vector<std::uint32_t> AnsweringAddresses(std::span<const Ipv4Range> ranges, const ProbeOptions& options,
                                              std::ostream& diagnostics) {
  std::vector<std::uint32_t> addresses;
  for (const Ipv4Range& range : ranges) {
    for (std::uint64_t i = 0; i < range.Count; ++i) addresses.push_back(static_cast<std::uint32_t>(range.First + i));
  }
  std::vector<bool> answered(addresses.size(), false);
  std::vector<Attempt> attempts;
  const std::size_t parallel = std::max<std::size_t>(options.Parallel, 1);
  std::size_t next = 0;
  while (next < addresses.size() || !attempts.empty()) {
    while (next < addresses.size() && attempts.size() < parallel) {
      bool at_once = false;
      int error = 0;
      const int socket = StartConnect(addresses[next], options.Port, at_once, error);
      if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
        if (!attempts.empty()) break;  // again once one ends
        diagnostics << "kestrova: the host list's ranges cannot be probed further (" << lan::ErrorText(error) << "); "
                    << addresses.size() - next << " addresses are left out\n";
        next = addresses.size();
        break;
      }
      if (socket >= 0) attempts.push_back({socket, next, Clock::now() + options.Timeout});
      answered[next] = at_once;
      ++next;
    }
    if (attempts.empty()) continue;
    std::vector<pollfd> polled;
    polled.reserve(attempts.size());
    Clock::time_point soonest = attempts.front().Deadline;
    for (const Attempt& attempt : attempts) {
      polled.push_back({attempt.Socket, POLLOUT, 0});
      soonest = std::min(soonest, attempt.Deadline);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(soonest - Clock::now());
    const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(std::max<std::int64_t>(wait.count(), 0)));
    if (ready < 0 && errno != EINTR) {
      // Nothing to wait on: every attempt under way counts as silent.
      for (const Attempt& attempt : attempts) ::close(attempt.Socket);
      attempts.clear();
      continue;
    }
    const Clock::time_point now = Clock::now();
    std::vector<Attempt> waiting;
    for (std::size_t i = 0; i < attempts.size(); ++i) {
      const Attempt& attempt = attempts[i];
      if (ready > 0 && polled[i].revents != 0) {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(attempt.Socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
          answered[attempt.Index] = true;
        }
        ::close(attempt.Socket);
      } else if (now >= attempt.Deadline) {
        ::close(attempt.Socket);
      } else {
        waiting.push_back(attempt);
      }
    }
    attempts = std::move(waiting);
  }
  std::vector<std::uint32_t> found;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (answered[i]) found.push_back(addresses[i]);
  }
  return found;
}

}  // namespace discovery
