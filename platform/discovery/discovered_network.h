// The one browse hierarchy that the discovery sources' findings make: the
// network's workgroups and domains, each with its computers.
//
// The findings are merged in the sources' fixed order (the browse list,
// WS-Discovery, Active Directory, the host list):
// - Computers are the same computer when their names are equal ignoring
//   the case of A to Z. A computer that several sources find appears once,
//   under the container of the first source that named it, with the first
//   address and the first comment that a source gave for it.
// - Containers are the same container when their names are equal ignoring
//   case; a container is shown as the first source spelt it, and only
//   where a computer stands in it.
// - The containers and computers of a source that keeps its order (the
//   browse list) come first, in that order; those that only other sources
//   found follow in name order, ignoring case. So the same network gives
//   the same hierarchy however its replies arrive.
// - Within a source that does not keep its order, "first" is in the order
//   of container and name ignoring case, then of the bytes of container,
//   name, address and comment, whatever order the source returned them
//   in: the source's own order decides nothing.
// - A name that is empty, longer than kMaxNameBytes or holds a control
//   character is left out, and bytes that are no UTF-8 become U+FFFD; an
//   address that is no plain host name or number is dropped (the computer
//   is then reached by its name); a comment longer than kMaxCommentBytes
//   is dropped.
// - At most `MostComputers` computers are kept, the first in the order
//   above that the sources found them; the rest are reported in one
//   message.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/discovery/discovery_source.h"

namespace discovery {

// Longer comments are no Windows comments (256 characters).
inline constexpr std::size_t kMaxCommentBytes = 1024;

// What one source found, and whether the hierarchy keeps its order.
struct Findings {
  std::vector<FoundComputer> Computers;
  bool KeepsOrder = false;
};

struct MergeOptions {
  // Keep only the computers that a source places in this container
  // (ignoring case); none: keep every container.
  std::optional<std::string> OnlyContainer;
  std::size_t MostComputers = kMaxComputers;
};

struct DiscoveredComputer {
  std::string Name;
  std::string Address;  // empty: reached by name
  std::string Comment;
};

struct DiscoveredContainer {
  std::string Name;
  std::vector<DiscoveredComputer> Computers;
};

class DiscoveredNetwork {
 public:
  // Merges the findings, given in the sources' fixed order. The cut is
  // reported to `diagnostics`.
  DiscoveredNetwork(std::span<const Findings> findings, const MergeOptions& options, std::ostream& diagnostics);

  const std::vector<DiscoveredContainer>& Containers() const { return containers_; }

  // The container of that name (ignoring case); null when none.
  const DiscoveredContainer* FindContainer(std::string_view name) const;

  // The address that a source gave for the computer of that name (ignoring
  // case); empty where none did or no source found it.
  std::string_view AddressOf(std::string_view name) const;

 private:
  std::vector<DiscoveredContainer> containers_;
  // By folded name: the container's index, and the computer's container
  // and index in it.
  std::unordered_map<std::string, std::size_t> container_index_;
  std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> computer_index_;
};

}  // namespace discovery
