#include "platform/smb/address_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

#include "platform/smb/netbios_name_query.h"
#include "platform/smb/smb_context.h"

namespace smb {

std::optional<ProbeResult> ProbeAddress(const std::string& host, std::uint16_t port, std::chrono::milliseconds limit,
                                        int cancel) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
  const int socket_fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket_fd < 0) return ProbeResult::kAnswered;  // libsmbclient will say what is wrong
  struct Closed {
    int fd;
    ~Closed() { close(fd); }
  } const closed{socket_fd};
  if (connect(socket_fd, found->ai_addr, found->ai_addrlen) == 0 || errno != EINPROGRESS) {
    return ProbeResult::kAnswered;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return ProbeResult::kSilent;
    pollfd watched[2] = {{socket_fd, POLLOUT, 0}, {cancel, POLLIN, 0}};
    const int ready = poll(watched, cancel >= 0 ? 2 : 1, static_cast<int>(left.count()) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return ProbeResult::kAnswered;
    if (cancel >= 0 && (watched[1].revents & POLLIN) != 0) return ProbeResult::kCancelled;
    if (watched[0].revents != 0) return ProbeResult::kAnswered;
  }
}

Reachability::Reachability(std::chrono::milliseconds limit, std::uint16_t port)
    : limit_(limit), port_(port), cancel_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Reachability::~Reachability() {
  if (background_.joinable()) {
    Cancel();
    background_.join();
  }
  if (cancel_ >= 0) close(cancel_);
}

void Reachability::Cancel() {
  if (cancel_ < 0) return;
  const std::uint64_t one = 1;
  static_cast<void>(write(cancel_, &one, sizeof one));
}

ProbeResult Reachability::Reach(const std::string& host) {
  {
    std::unique_lock lock(mutex_);
    // The probe under way ends within its limit, or at once when cancelled.
    probed_.wait(lock, [&] { return !under_way_.contains(host); });
    if (const auto found = found_.find(host); found != found_.end()) return found->second;
    under_way_.insert(host);
  }
  std::optional<ProbeResult> result = ProbeAddress(host, port_, limit_, cancel_);
  std::optional<std::string> address;
  if (!result) {
    address = ResolveNetbiosName(host, std::min(limit_, kMostNameQuery), cancel_);
    result = address ? ProbeAddress(*address, port_, limit_, cancel_) : ProbeResult::kAnswered;
  }
  pollfd cancelled{cancel_, POLLIN, 0};
  const bool was_cancelled = *result == ProbeResult::kCancelled || (cancel_ >= 0 && poll(&cancelled, 1, 0) > 0);
  const std::lock_guard lock(mutex_);
  under_way_.erase(host);
  probed_.notify_all();
  if (was_cancelled) return ProbeResult::kCancelled;
  if (address) resolved_.emplace(host, std::move(*address));
  return found_.emplace(host, *result).first->second;
}

std::string Reachability::ResolvedAddress(const std::string& host) {
  const std::lock_guard lock(mutex_);
  const auto found = resolved_.find(host);
  return found == resolved_.end() ? std::string() : found->second;
}

void Reachability::StartReachingAll(std::vector<std::string> hosts) {
  if (background_.joinable()) return;
  background_ = std::thread([this, hosts = std::move(hosts)] {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < std::min(hosts.size(), kMostAtOnce); ++i) {
      threads.emplace_back([&] {
        for (std::size_t at = next++; at < hosts.size(); at = next++) Reach(hosts[at]);
      });
    }
    for (std::thread& thread : threads) thread.join();
  });
}

}  // namespace smb
