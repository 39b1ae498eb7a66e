#include "platform/discovery/wsd/discovery_channel.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/discovery/wsd/discovery_channel_test_helper.h"
#include "platform/discovery/wsd/discovery_reply.h"
#include "platform/discovery/wsd/wsd_protocol.h"

namespace discovery::wsd {

struct DiscoveryChannel::Destination {
  int Descriptor = -1;
  unsigned InterfaceIndex = 0;  // 0: the test's unicast target
  sockaddr_storage Address{};
  socklen_t AddressLength = 0;
};

namespace {

std::mutex test_target_mutex;
std::string test_target_address;
std::uint16_t test_target_port = 0;

struct InterfaceFamilies {
  unsigned Index = 0;
  bool Usable = false;
  bool Ipv4 = false;
  bool Ipv6 = false;
};

// The host's interfaces by name: which are up with multicast (loopback
// left out) and which families they have addresses of.
std::map<std::string, InterfaceFamilies> HostInterfaces() {
  std::map<std::string, InterfaceFamilies> interfaces;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return interfaces;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    InterfaceFamilies& families = interfaces[entry->ifa_name];
    families.Usable = (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_MULTICAST) != 0 &&
                      (entry->ifa_flags & IFF_LOOPBACK) == 0;
    if (entry->ifa_addr == nullptr) continue;
    if (entry->ifa_addr->sa_family == AF_INET) families.Ipv4 = true;
    if (entry->ifa_addr->sa_family == AF_INET6) families.Ipv6 = true;
  }
  freeifaddrs(list);
  for (auto& [name, families] : interfaces) families.Index = if_nametoindex(name.c_str());
  return interfaces;
}

int OpenSocket(int family, std::string& failure) {
  const int descriptor = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (descriptor < 0) {
    failure = std::string("cannot open a UDP socket: ") + std::strerror(errno);
    return -1;
  }
  const int one = 1;
  bool ok = true;
  if (family == AF_INET6) {
    ok = setsockopt(descriptor, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) == 0 &&
         setsockopt(descriptor, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &one, sizeof one) == 0;
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    ok = ok && bind(descriptor, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
  } else {
    const unsigned char ttl = 1;
    ok = setsockopt(descriptor, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    ok = ok && bind(descriptor, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
  }
  if (!ok) {
    failure = std::string("cannot set up a UDP socket: ") + std::strerror(errno);
    close(descriptor);
    return -1;
  }
  return descriptor;
}

std::string NumericAddress(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    return text;
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
  inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
  std::string numeric = text;
  if (IN6_IS_ADDR_LINKLOCAL(&v6.sin6_addr) && v6.sin6_scope_id != 0) {
    char zone[IF_NAMESIZE] = {};
    numeric += '%';
    numeric += if_indextoname(v6.sin6_scope_id, zone) != nullptr ? std::string(zone) : std::to_string(v6.sin6_scope_id);
  }
  return numeric;
}

}  // namespace

void AimDiscoveryAtForTesting(const std::string& address, std::uint16_t port) {
  const std::lock_guard<std::mutex> lock(test_target_mutex);
  test_target_address = address;
  test_target_port = port;
}

DiscoveryChannel::DiscoveryChannel() = default;

DiscoveryChannel::~DiscoveryChannel() {
  for (const int descriptor : descriptors_) close(descriptor);
}

std::unique_ptr<DiscoveryChannel> DiscoveryChannel::Open(const std::vector<std::string>& interfaces,
                                                         std::string& failure) {
  std::unique_ptr<DiscoveryChannel> channel(new DiscoveryChannel);
  std::string target_address;
  std::uint16_t target_port = 0;
  {
    const std::lock_guard<std::mutex> lock(test_target_mutex);
    target_address = test_target_address;
    target_port = test_target_port;
  }
  if (!target_address.empty()) {
    Destination target;
    auto& v4 = reinterpret_cast<sockaddr_in&>(target.Address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(target.Address);
    int family = AF_INET;
    if (inet_pton(AF_INET, target_address.c_str(), &v4.sin_addr) == 1) {
      v4.sin_family = AF_INET;
      v4.sin_port = htons(target_port);
      target.AddressLength = sizeof v4;
    } else if (inet_pton(AF_INET6, target_address.c_str(), &v6.sin6_addr) == 1) {
      family = AF_INET6;
      v6.sin6_family = AF_INET6;
      v6.sin6_port = htons(target_port);
      target.AddressLength = sizeof v6;
    } else {
      failure = "the test's target address is not numeric";
      return nullptr;
    }
    target.Descriptor = OpenSocket(family, failure);
    if (target.Descriptor < 0) return nullptr;
    channel->descriptors_.push_back(target.Descriptor);
    channel->destinations_.push_back(target);
    return channel;
  }

  const std::map<std::string, InterfaceFamilies> host = HostInterfaces();
  std::vector<std::pair<std::string, InterfaceFamilies>> chosen;
  if (interfaces.empty()) {
    for (const auto& [name, families] : host) {
      if (families.Usable && families.Index != 0) chosen.emplace_back(name, families);
    }
  } else {
    for (const std::string& name : interfaces) {
      const auto found = host.find(name);
      if (found == host.end() || !found->second.Usable || found->second.Index == 0) {
        channel->unusable_.push_back(name);
      } else if (std::none_of(chosen.begin(), chosen.end(), [&](const auto& c) { return c.first == name; })) {
        chosen.emplace_back(name, found->second);
      }
    }
  }
  int ipv4 = -1;
  int ipv6 = -1;
  for (const auto& [name, families] : chosen) {
    if (families.Ipv4 && ipv4 < 0) {
      ipv4 = OpenSocket(AF_INET, failure);
      if (ipv4 >= 0) channel->descriptors_.push_back(ipv4);
    }
    if (families.Ipv6 && ipv6 < 0) {
      ipv6 = OpenSocket(AF_INET6, failure);
      if (ipv6 >= 0) channel->descriptors_.push_back(ipv6);
    }
    if (families.Ipv4 && ipv4 >= 0) {
      Destination group;
      group.Descriptor = ipv4;
      group.InterfaceIndex = families.Index;
      auto& v4 = reinterpret_cast<sockaddr_in&>(group.Address);
      v4.sin_family = AF_INET;
      v4.sin_port = htons(kDiscoveryPort);
      inet_pton(AF_INET, kMulticastIpv4, &v4.sin_addr);
      group.AddressLength = sizeof v4;
      channel->destinations_.push_back(group);
    }
    if (families.Ipv6 && ipv6 >= 0) {
      Destination group;
      group.Descriptor = ipv6;
      group.InterfaceIndex = families.Index;
      auto& v6 = reinterpret_cast<sockaddr_in6&>(group.Address);
      v6.sin6_family = AF_INET6;
      v6.sin6_port = htons(kDiscoveryPort);
      v6.sin6_scope_id = families.Index;
      inet_pton(AF_INET6, kMulticastIpv6, &v6.sin6_addr);
      group.AddressLength = sizeof v6;
      channel->destinations_.push_back(group);
    }
  }
  if (channel->destinations_.empty()) {
    if (failure.empty()) {
      failure = interfaces.empty() ? "no network interface is up with multicast"
                                   : "none of the interfaces named is up with multicast";
    }
    return nullptr;
  }
  return channel;
}

bool DiscoveryChannel::SendToAll(std::string_view message, std::string& failure) {
  bool sent = false;
  for (const Destination& destination : destinations_) {
    bool ready = true;
    if (destination.InterfaceIndex != 0 && destination.Address.ss_family == AF_INET) {
      ip_mreqn request{};
      request.imr_ifindex = static_cast<int>(destination.InterfaceIndex);
      ready = setsockopt(destination.Descriptor, IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request) == 0;
    } else if (destination.InterfaceIndex != 0) {
      ready = setsockopt(destination.Descriptor, IPPROTO_IPV6, IPV6_MULTICAST_IF, &destination.InterfaceIndex,
                         sizeof destination.InterfaceIndex) == 0;
    }
    if (ready && sendto(destination.Descriptor, message.data(), message.size(), 0,
                        reinterpret_cast<const sockaddr*>(&destination.Address), destination.AddressLength) >= 0) {
      sent = true;
    } else if (failure.empty()) {
      failure = std::string("cannot send to the discovery group: ") + std::strerror(errno);
    }
  }
  return sent;
}

bool DiscoveryChannel::Receive(int descriptor, Datagram& datagram) {
  datagram.Bytes.resize(kMaxDatagramBytes);
  sockaddr_storage source{};
  iovec buffer{datagram.Bytes.data(), datagram.Bytes.size()};
  msghdr header{};
  header.msg_name = &source;
  header.msg_namelen = sizeof source;
  header.msg_iov = &buffer;
  header.msg_iovlen = 1;
  const ssize_t received = recvmsg(descriptor, &header, MSG_DONTWAIT);
  if (received < 0) {
    datagram.Bytes.clear();
    return false;
  }
  datagram.Bytes.resize(static_cast<std::size_t>(received));
  datagram.Oversized = (header.msg_flags & MSG_TRUNC) != 0;
  datagram.Source = NumericAddress(source);
  return true;
}

}  // namespace discovery::wsd
