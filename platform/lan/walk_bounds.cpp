#include "platform/lan/walk_bounds.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/lan/container_lookup.h"
#include "platform/lan/visible_text.h"

namespace lan {
namespace {

std::string Where(const NetworkRecord& record) { return record.Origin.empty() ? "" : record.Origin + ": "; }

std::string NameOf(const NetworkRecord& record) {
  return record.RemoteName ? QuotedVisibleText(*record.RemoteName) : "a record without a remote name";
}

// What walking below one container costs, once the records to leave out
// are left out.
struct Cost {
  std::uint64_t Records = 0;  // records enumerated, at every level below
  int Height = 0;             // levels opened below the container
};

class WalkBounds {
 public:
  WalkBounds(const NetworkRecord& top, std::ostream& diagnostics) : containers_(top), diagnostics_(diagnostics) {}

  // Walks the containers as the program would, from `container` opened at
  // `depth`, and decides which records to leave out.
  Cost Walk(const NetworkRecord& container, int depth) {
    if (const auto known = done_.find(&container); known != done_.end()) return known->second;
    on_path_.insert(&container);
    Cost cost;
    for (const NetworkRecord& child : container.Children) {
      cost.Records = Saturated(cost.Records + 1);
      if ((child.Usage & RESOURCEUSAGE_CONTAINER) == 0) continue;
      const NetworkRecord* opened = containers_.OpenedBy(child);
      if (opened == nullptr) continue;
      if (on_path_.count(opened) != 0) {
        LeaveOut(child,
                 "enumerating " + NameOf(child) + " opens a container that encloses it, so the walk would never end");
        continue;
      }
      if (depth + 1 > kMaxWalkDepth) {
        LeaveOut(child, "enumerating " + NameOf(child) + " would take the walk deeper than " +
                            std::to_string(kMaxWalkDepth) + " levels");
        continue;
      }
      const Cost below = Walk(*opened, depth + 1);
      if (depth + 1 + below.Height > kMaxWalkDepth) {
        LeaveOut(child, "enumerating " + NameOf(child) + " would take the walk deeper than " +
                            std::to_string(kMaxWalkDepth) + " levels");
        continue;
      }
      cost.Records = Saturated(cost.Records + below.Records);
      cost.Height = std::max(cost.Height, below.Height + 1);
    }
    on_path_.erase(&container);
    done_.emplace(&container, cost);
    return cost;
  }

  // Removes the records left out. Their addresses are compared before
  // anything moves: each level's subtrees first, then the level itself.
  void RemoveLeftOut(NetworkRecord& container) {
    for (NetworkRecord& child : container.Children) RemoveLeftOut(child);
    std::erase_if(container.Children, [&](const NetworkRecord& child) { return left_out_.count(&child) != 0; });
  }

 private:
  void LeaveOut(const NetworkRecord& record, const std::string& why) {
    if (!left_out_.insert(&record).second) return;
    diagnostics_ << "kestrova: " << Where(record) << why << "; the record is left out\n";
  }

  static std::uint64_t Saturated(std::uint64_t records) { return std::min(records, kMaxWalkRecords + 1); }

  const ContainerIndex containers_;  // built before anything is removed
  std::ostream& diagnostics_;
  std::unordered_set<const NetworkRecord*> on_path_;
  std::unordered_map<const NetworkRecord*, Cost> done_;
  std::unordered_set<const NetworkRecord*> left_out_;
};

}  // namespace

bool KeepWalkBounded(NetworkRecord& top, std::ostream& diagnostics) {
  WalkBounds bounds(top, diagnostics);
  const Cost cost = bounds.Walk(top, 0);
  bounds.RemoveLeftOut(top);
  return cost.Records <= kMaxWalkRecords;
}

}  // namespace lan
