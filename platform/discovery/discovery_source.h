// Where the real network's computers come from: each way of finding them
// (the SMB1 browse list, WS-Discovery, Active Directory, a list of hosts
// the user names) is a discovery source, and the SMB network merges what
// the sources find into the one browse hierarchy that the program walks
// (a network, its workgroups and domains, their servers).
//
// A source runs on a thread of its own, beside the others, and is asked
// once per run. Everything it hands back came from outside and is checked
// by the source before it is handed back: names are at most
// kMaxNameBytes of valid UTF-8 with no control character, addresses are
// numeric IP addresses or DNS names.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace discovery {

// The longest container or computer name a source hands back, in bytes: a
// DNS name's limit, above NetBIOS's 15 characters.
inline constexpr std::size_t kMaxNameBytes = 255;

// The most computers that the merged hierarchy holds. A source hands back
// at most one more, so that the merge sees where it was cut.
inline constexpr std::size_t kMaxComputers = 65536;

// One computer as a source found it.
struct FoundComputer {
  // The workgroup or domain it belongs to (its NetBIOS name); never empty:
  // a source names a container of its own choosing where the network
  // names none.
  std::string Container;
  // The computer's name as the hierarchy shows it (\\Name).
  std::string Name;
  // How to reach it: a numeric IPv4 or IPv6 address (an IPv6 link-local
  // one with its zone, fe80::1%eth0) or a DNS name; empty to reach it by
  // Name through the system's name resolution.
  std::string Address;
  // A description, empty for none.
  std::string Comment;
};

class DiscoverySource {
 public:
  virtual ~DiscoverySource() = default;

  // The source's name in messages: "the browse list", "WS-Discovery",
  // "Active Directory", "the host list".
  virtual std::string_view Name() const = 0;

  // Whether the hierarchy keeps the order in which this source lists its
  // containers and computers (the browse list's, which is the browser's
  // own); the computers of every other source are put in name order.
  virtual bool KeepsOrder() const { return false; }

  // Finds the computers, in an order that is the same for the same
  // network however its replies arrive, and returns within the source's
  // own time limit. A source that cannot do its work (no multicast route,
  // no domain controller, a refused bind) writes one message to
  // `diagnostics`, each line starting "kestrova: ", and returns what it
  // found until then, often nothing. Runs on a thread of its own; touches
  // no state shared with other sources.
  virtual std::vector<FoundComputer> Find(std::ostream& diagnostics) = 0;
};

}  // namespace discovery
