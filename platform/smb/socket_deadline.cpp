#include "platform/smb/socket_deadline.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

namespace smb {

class DeadlineWatcher {
 public:
  static DeadlineWatcher& Instance() {
    // Never destroyed: its thread may still be waiting when the process
    // exits.
    static auto* watcher = new DeadlineWatcher;
    return *watcher;
  }

  void Arm(SocketDeadline& deadline, std::chrono::steady_clock::time_point when) {
    {
      std::lock_guard lock(mutex_);
      deadline.expired_ = false;
      armed_[&deadline] = when;
      if (!started_) {
        std::thread([this] { Run(); }).detach();
        started_ = true;
      }
    }
    changed_.notify_one();
  }

  bool Disarm(SocketDeadline& deadline) {
    std::lock_guard lock(mutex_);
    armed_.erase(&deadline);
    return deadline.expired_;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (true) {
      if (armed_.empty()) {
        changed_.wait(lock);
        continue;
      }
      const auto earliest = std::min_element(armed_.begin(), armed_.end(),
                                             [](const auto& a, const auto& b) { return a.second < b.second; });
      if (std::chrono::steady_clock::now() < earliest->second) {
        changed_.wait_until(lock, earliest->second);
        continue;
      }
      shutdown(earliest->first->socket_, SHUT_RDWR);
      earliest->first->expired_ = true;
      armed_.erase(earliest);
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  // The deadlines of the transfers under way, a few: one per pipe at most.
  std::map<SocketDeadline*, std::chrono::steady_clock::time_point> armed_;
  bool started_ = false;
};

SocketSet TcpSockets() {
  SocketSet sockets;
  DIR* directory = opendir("/proc/self/fd");
  if (directory == nullptr) return sockets;
  const int own = dirfd(directory);
  while (const dirent* entry = readdir(directory)) {
    const std::string_view name = entry->d_name;
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    const int descriptor = std::atoi(entry->d_name);
    struct stat information {};
    if (descriptor == own || fstat(descriptor, &information) != 0 || !S_ISSOCK(information.st_mode)) continue;
    int type = 0;
    socklen_t type_size = sizeof type;
    if (getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &type_size) != 0 || type != SOCK_STREAM) continue;
    sockaddr_storage address{};
    socklen_t address_size = sizeof address;
    if (getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &address_size) != 0) continue;
    if (address.ss_family != AF_INET && address.ss_family != AF_INET6) continue;
    sockets.emplace_back(descriptor, information.st_ino);
  }
  closedir(directory);
  return sockets;
}

int DuplicateNewSocket(const SocketSet& before, const SocketSet& after) {
  int found = -1;
  int count = 0;
  for (const auto& socket : after) {
    if (std::find(before.begin(), before.end(), socket) != before.end()) continue;
    found = socket.first;
    ++count;
  }
  if (count != 1) return -1;
  return fcntl(found, F_DUPFD_CLOEXEC, 0);
}

SocketDeadline::~SocketDeadline() {
  if (socket_ < 0) return;
  DeadlineWatcher::Instance().Disarm(*this);
  close(socket_);
}

void SocketDeadline::Arm(std::chrono::steady_clock::time_point deadline) {
  if (socket_ >= 0 && deadline != std::chrono::steady_clock::time_point::max()) {
    DeadlineWatcher::Instance().Arm(*this, deadline);
  }
}

void SocketDeadline::ShutNow() {
  if (socket_ >= 0) shutdown(socket_, SHUT_RDWR);
}

bool SocketDeadline::Disarm() { return socket_ >= 0 && DeadlineWatcher::Instance().Disarm(*this); }

}  // namespace smb
