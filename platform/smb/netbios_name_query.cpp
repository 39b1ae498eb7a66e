#include "platform/smb/netbios_name_query.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace smb {
namespace {

constexpr std::uint16_t kNameServicePort = 137;
constexpr std::uint16_t kTypeNb = 0x0020;
constexpr std::uint16_t kClassIn = 0x0001;

void Put16(std::string& out, std::uint16_t value) {
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value & 0xFF));
}

std::uint16_t Get16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                    static_cast<unsigned char>(bytes[at + 1]));
}

}  // namespace

std::string NetbiosNameQuery(std::string_view name, std::uint16_t id) {
  if (name.empty() || name.size() > kMaxNetbiosName) return {};
  std::string padded;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x21 || byte > 0x7E || c == '.') return {};
    padded.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  padded.resize(kMaxNetbiosName, ' ');
  padded.push_back('\x20');  // the server service
  std::string query;
  Put16(query, id);
  Put16(query, 0x0110);  // a query, recursion desired, broadcast
  Put16(query, 1);       // one question
  Put16(query, 0);
  Put16(query, 0);
  Put16(query, 0);
  query.push_back(32);  // the first-level encoding: each half byte as 'A' + it
  for (const char c : padded) {
    const auto byte = static_cast<unsigned char>(c);
    query.push_back(static_cast<char>('A' + (byte >> 4)));
    query.push_back(static_cast<char>('A' + (byte & 0x0F)));
  }
  query.push_back(0);
  Put16(query, kTypeNb);
  Put16(query, kClassIn);
  return query;
}

std::optional<std::string> NetbiosQueryAnswer(std::string_view reply, std::uint16_t id) {
  // Header (12), the encoded name (34), type, class, TTL, length (10),
  // then the flags and the address of the first record (6).
  constexpr std::size_t kRecord = 12 + 34 + 10;
  if (reply.size() < kRecord + 6 || Get16(reply, 0) != id) return std::nullopt;
  const std::uint16_t flags = Get16(reply, 2);
  const bool response = (flags & 0x8000) != 0;
  const bool positive = (flags & 0x000F) == 0;
  if (!response || !positive || Get16(reply, 6) == 0 || reply[12] != 32 || reply[12 + 33] != 0) return std::nullopt;
  if (Get16(reply, 12 + 34) != kTypeNb || Get16(reply, kRecord - 2) < 6) return std::nullopt;
  in_addr address{};
  std::memcpy(&address, reply.data() + kRecord + 2, 4);
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return std::nullopt;
  return std::string(text);
}

std::optional<std::string> ResolveNetbiosName(std::string_view name, std::chrono::milliseconds limit, int cancel) {
  const auto id = static_cast<std::uint16_t>(std::random_device{}());
  const std::string query = NetbiosNameQuery(name, id);
  if (query.empty()) return std::nullopt;
  const int socket_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket_fd < 0) return std::nullopt;
  struct Closed {
    int fd;
    ~Closed() { close(fd); }
  } const closed{socket_fd};
  const int on = 1;
  setsockopt(socket_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return std::nullopt;
  bool sent = false;
  for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || entry->ifa_netmask == nullptr) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    // The subnet's broadcast address, from the address and its mask, as
    // Samba derives it: an interface may have been given no broadcast
    // address of its own.
    sockaddr_in address{};
    sockaddr_in mask{};
    std::memcpy(&address, entry->ifa_addr, sizeof address);
    std::memcpy(&mask, entry->ifa_netmask, sizeof mask);
    if (mask.sin_addr.s_addr == 0xFFFFFFFF) continue;  // a single address: no one to ask
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kNameServicePort);
    to.sin_addr.s_addr = (address.sin_addr.s_addr & mask.sin_addr.s_addr) | ~mask.sin_addr.s_addr;
    sent |= sendto(socket_fd, query.data(), query.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
            static_cast<ssize_t>(query.size());
  }
  freeifaddrs(interfaces);
  if (!sent) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd watched[2] = {{socket_fd, POLLIN, 0}, {cancel, POLLIN, 0}};
    const int ready = poll(watched, cancel >= 0 ? 2 : 1, static_cast<int>(left.count()) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (cancel >= 0 && (watched[1].revents & POLLIN) != 0)) return std::nullopt;
    if ((watched[0].revents & POLLIN) == 0) continue;
    char reply[576];
    const ssize_t got = recv(socket_fd, reply, sizeof reply, 0);
    if (got <= 0) continue;
    if (std::optional<std::string> address =
            NetbiosQueryAnswer(std::string_view(reply, static_cast<std::size_t>(got)), id)) {
      return address;
    }
  }
}

}  // namespace smb
