#include "platform/discovery/discovered_network.h"

#include <algorithm>
#include <tuple>

#include "platform/ascii_case.h"
#include "platform/lan/utf16_text.h"

namespace discovery {
namespace {

// The name as the hierarchy may show it, or nothing.
std::optional<std::string> CheckedName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes) return std::nullopt;
  const std::u16string units = lan::Utf16FromUtf8(name, lan::Undecodable::kReplaced);
  for (const char16_t unit : units) {
    if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) return std::nullopt;
  }
  std::string checked = lan::Utf8FromUtf16(units, lan::Undecodable::kReplaced);
  if (checked.size() > kMaxNameBytes) return std::nullopt;
  return checked;
}

// A host name, an IPv4 address or an IPv6 address with its zone: letters,
// digits and . - _ : % only, so that it cannot name a path or a share.
bool IsPlainAddress(std::string_view address) {
  if (address.empty() || address.size() > kMaxNameBytes) return false;
  return std::all_of(address.begin(), address.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_' || c == ':' || c == '%';
  });
}

std::string CheckedComment(std::string_view comment) {
  if (comment.size() > kMaxCommentBytes) return {};
  return lan::Utf8FromUtf16(lan::Utf16FromUtf8(comment, lan::Undecodable::kReplaced), lan::Undecodable::kReplaced);
}

// Where a container or computer goes: the ones that a source keeping its
// order found, in that order, then the rest by folded name.
struct Rank {
  bool Ordered = false;
  std::size_t Arrival = 0;
  std::string Folded;

  bool operator<(const Rank& other) const {
    if (Ordered != other.Ordered) return Ordered;
    if (Ordered) return Arrival < other.Arrival;
    return Folded < other.Folded;
  }
};

struct PlacedComputer {
  Rank Place;
  DiscoveredComputer Computer;
};

struct PlacedContainer {
  Rank Place;
  std::string Name;
  std::vector<PlacedComputer> Computers;
};

// The order in which a source's findings are merged: as given for a
// source that keeps its order; for any other, by container and name
// ignoring case, then by every field's bytes, so that the same findings
// in any order give the same hierarchy (which spelling of a container is
// shown, which of two addresses a computer is reached at, which
// container a computer that a source places in two goes under).
std::vector<std::size_t> MergeOrder(const Findings& source) {
  std::vector<std::size_t> order(source.Computers.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (source.KeepsOrder) return order;
  std::vector<std::string> keys;
  keys.reserve(order.size());
  for (const FoundComputer& found : source.Computers) {
    keys.push_back(ascii_case::FoldedText(found.Container) + '\0' + ascii_case::FoldedText(found.Name));
  }
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (keys[a] != keys[b]) return keys[a] < keys[b];
    const FoundComputer& x = source.Computers[a];
    const FoundComputer& y = source.Computers[b];
    return std::tie(x.Container, x.Name, x.Address, x.Comment) < std::tie(y.Container, y.Name, y.Address, y.Comment);
  });
  return order;
}

}  // namespace

DiscoveredNetwork::DiscoveredNetwork(std::span<const Findings> findings, const MergeOptions& options,
                                     std::ostream& diagnostics) {
  std::vector<PlacedContainer> placed;
  std::size_t computers = 0;
  std::size_t arrival = 0;
  bool cut = false;
  for (const Findings& source : findings) {
    for (const std::size_t index : MergeOrder(source)) {
      const FoundComputer& found = source.Computers[index];
      if (options.OnlyContainer && !ascii_case::Same(found.Container, *options.OnlyContainer)) continue;
      const std::optional<std::string> name = CheckedName(found.Name);
      const std::optional<std::string> container_name = CheckedName(found.Container);
      if (!name || !container_name) continue;
      const std::string address = IsPlainAddress(found.Address) ? found.Address : std::string();
      std::string folded = ascii_case::FoldedText(*name);
      if (const auto known = computer_index_.find(folded); known != computer_index_.end()) {
        DiscoveredComputer& computer = placed[known->second.first].Computers[known->second.second].Computer;
        if (computer.Address.empty()) computer.Address = address;
        if (computer.Comment.empty()) computer.Comment = CheckedComment(found.Comment);
        continue;
      }
      if (computers == options.MostComputers) {
        cut = true;
        continue;
      }
      std::string folded_container = ascii_case::FoldedText(*container_name);
      auto [slot, added] = container_index_.try_emplace(folded_container, placed.size());
      if (added) {
        placed.push_back({{source.KeepsOrder, arrival, std::move(folded_container)}, *container_name, {}});
      }
      std::vector<PlacedComputer>& members = placed[slot->second].Computers;
      computer_index_.emplace(folded, std::make_pair(slot->second, members.size()));
      members.push_back(
          {{source.KeepsOrder, arrival, std::move(folded)}, {*name, address, CheckedComment(found.Comment)}});
      ++computers;
      ++arrival;
    }
  }
  if (cut) {
    diagnostics << "kestrova: discovery found more than " << options.MostComputers << " computers; only the first "
                << options.MostComputers << " are listed\n";
    diagnostics.flush();
  }

  std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.Place < b.Place; });
  container_index_.clear();
  computer_index_.clear();
  containers_.reserve(placed.size());
  for (PlacedContainer& container : placed) {
    std::sort(container.Computers.begin(), container.Computers.end(),
              [](const auto& a, const auto& b) { return a.Place < b.Place; });
    const std::size_t index = containers_.size();
    container_index_.emplace(std::move(container.Place.Folded), index);
    DiscoveredContainer& kept = containers_.emplace_back();
    kept.Name = std::move(container.Name);
    kept.Computers.reserve(container.Computers.size());
    for (PlacedComputer& computer : container.Computers) {
      computer_index_.emplace(std::move(computer.Place.Folded), std::make_pair(index, kept.Computers.size()));
      kept.Computers.push_back(std::move(computer.Computer));
    }
  }
}

const DiscoveredContainer* DiscoveredNetwork::FindContainer(std::string_view name) const {
  const auto found = container_index_.find(ascii_case::FoldedText(name));
  return found == container_index_.end() ? nullptr : &containers_[found->second];
}

std::string_view DiscoveredNetwork::AddressOf(std::string_view name) const {
  const auto found = computer_index_.find(ascii_case::FoldedText(name));
  if (found == computer_index_.end()) return {};
  return containers_[found->second.first].Computers[found->second.second].Address;
}

}  // namespace discovery
