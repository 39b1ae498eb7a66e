// The host list: computers that the user names, by host name or address,
// and IPv4 ranges in CIDR form (a.b.c.d/n) whose computers are found by
// probing, given in KESTROVA_HOSTS or KESTROVA_HOSTS_FILE
// (discovery_settings.h).
//
// Entries are separated by commas, blanks or line ends; in a file, a #
// starts a comment that runs to the end of its line. An entry that is no
// name, address or range is reported (naming where it stands) and left
// out; the others are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace discovery {

// The ranges of one host list together hold at most this many addresses
// (a /16): a range that would go beyond it is refused whole, with a
// message. With the probe's defaults (port_probe.h) a /16 of silent
// addresses takes about 256 s, a /24 about one.
inline constexpr std::uint64_t kMaxRangeAddresses = 65536;
// Larger files are no host lists.
inline constexpr std::size_t kMaxHostsFileBytes = 4 * 1024 * 1024;

// The addresses of an IPv4 range that can be hosts: all but the network's
// own address and its broadcast address, except in a /31 or /32.
struct Ipv4Range {
  std::uint32_t First = 0;  // host byte order
  std::uint64_t Count = 0;
  std::string Text;  // as the user wrote it
};

struct HostEntry {
  std::string Name;        // as given
  bool IsAddress = false;  // an IPv4 or IPv6 address, reached as such
};

struct HostList {
  std::vector<HostEntry> Hosts;
  std::vector<Ipv4Range> Ranges;
  std::uint64_t RangeAddresses = 0;  // the addresses of all ranges

  bool Empty() const { return Hosts.empty() && Ranges.empty(); }
};

// The range that `text` writes in CIDR form, or false; the address need
// not be the network's own (10.1.2.3/24 is 10.1.2.0/24).
bool ParseIpv4Range(std::string_view text, Ipv4Range& range);

// Whether `text` is a numeric IPv4 or IPv6 address (the latter with a zone
// after %, as fe80::1%eth0).
bool IsIpAddress(std::string_view text);

// Adds the entries of `text` to `list`. `origin` names where the text
// comes from in messages: "KESTROVA_HOSTS", or a file's name (then each
// message also gives the line).
void AddHostEntries(std::string_view text, std::string_view origin, bool is_file, HostList& list,
                    std::ostream& diagnostics);

// Reads the host file at `path` into `list`; a file that cannot be read or
// is larger than kMaxHostsFileBytes costs one message and adds nothing.
void ReadHostsFile(const std::filesystem::path& path, HostList& list, std::ostream& diagnostics);

}  // namespace discovery
