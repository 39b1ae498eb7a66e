// DNS service records (RFC 2782), as the domain controller locator reads
// them: `_ldap._tcp.dc._msdcs.DOMAIN` names the domain's controllers, each
// with a priority (lower first), a weight (a larger share of the picks
// among equal priorities), a port and a host name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace discovery::ldap {

struct ServiceTarget {
  // A DNS name, without the trailing dot.
  std::string Host;
  std::uint16_t Port = 0;
  std::uint16_t Priority = 0;
  std::uint16_t Weight = 0;
};

// The most records taken from one answer; those beyond are ignored.
inline constexpr std::size_t kMaxServiceTargets = 64;

// The SRV records of the answer section of a DNS `message`, in the order
// received. Records of other types, and SRV records whose target is "."
// (the service is decidedly not offered) or not a DNS name, are skipped. A
// message whose sections or records do not fit in it is refused: false,
// with `fault` saying why.
bool ParseSrvAnswer(std::span<const unsigned char> message, std::vector<ServiceTarget>& targets, std::string& fault);

// A number from 0 to `most`, both included, drawn uniformly.
using RandomDraw = std::function<std::uint32_t(std::uint32_t most)>;

// The targets in the order of RFC 2782: by priority, lowest first; among
// equal priorities a weighted random order, the records of weight 0 put
// first so that they keep a small chance, and each next record drawn with
// `draw` over the running sum of the weights left.
std::vector<ServiceTarget> InOrderOfUse(std::vector<ServiceTarget> targets, const RandomDraw& draw);

// A draw from the process's random device, for real lookups.
std::uint32_t DrawAtRandom(std::uint32_t most);

// How a lookup ended.
enum class SrvLookup {
  kFound,
  // The name does not exist, or has no SRV record.
  kNone,
  // The DNS servers failed, did not answer in time, or answered nonsense.
  kFailed,
};

// Asks the system's DNS servers (resolv.conf, through libresolv) for the
// SRV records of `name`, waiting at most `timeout_seconds` for each try.
// kNone and kFailed come with `reason`.
SrvLookup LookUpSrvRecords(const std::string& name, int timeout_seconds, std::vector<ServiceTarget>& targets,
                           std::string& reason);

// The DNS search domains of resolv.conf, in its order.
std::vector<std::string> DnsSearchDomains();

}  // namespace discovery::ldap
