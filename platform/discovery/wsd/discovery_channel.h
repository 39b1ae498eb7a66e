// The UDP side of WS-Discovery: one IPv4 and one IPv6 socket, each bound
// to an ephemeral port, that send a message to the discovery multicast
// groups (239.255.255.250 and ff02::c, port 3702) on every chosen
// interface, and read the unicast replies that responders send back to
// that port, with the address each came from.
//
// The interfaces are those that are up, have multicast and are not
// loopback, each in the families it has an address of; or, where the
// caller names interfaces, those of them. Multicast leaves with a hop
// limit of 1: discovery stays on the link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace discovery::wsd {

struct Datagram {
  // At most kMaxDatagramBytes; Oversized when the datagram was larger and
  // was cut.
  std::string Bytes;
  bool Oversized = false;
  // The numeric address it came from; an IPv6 link-local address with its
  // zone (fe80::1%eth0).
  std::string Source;
};

class DiscoveryChannel {
 public:
  // Opens the sockets for `interfaces` (names; empty: every interface
  // that is up). Null, with `failure` saying why, when there is no
  // interface to send on or no socket can be opened.
  static std::unique_ptr<DiscoveryChannel> Open(const std::vector<std::string>& interfaces, std::string& failure);

  ~DiscoveryChannel();
  DiscoveryChannel(const DiscoveryChannel&) = delete;
  DiscoveryChannel& operator=(const DiscoveryChannel&) = delete;

  // Sends `message` to the multicast groups on every interface; true when
  // at least one copy left, else `failure` says why.
  bool SendToAll(std::string_view message, std::string& failure);

  // The sockets, to wait on for replies.
  const std::vector<int>& Descriptors() const { return descriptors_; }

  // Reads one datagram waiting on `descriptor`; false when none waits.
  bool Receive(int descriptor, Datagram& datagram);

  // Interfaces named by the caller that were left out (not found, not up,
  // without multicast), for a message.
  const std::vector<std::string>& UnusableInterfaces() const { return unusable_; }

 private:
  struct Destination;
  DiscoveryChannel();

  std::vector<int> descriptors_;
  std::vector<Destination> destinations_;
  std::vector<std::string> unusable_;
};

}  // namespace discovery::wsd
