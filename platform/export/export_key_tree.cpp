#include "platform/export/export_key_tree.h"

#include <algorithm>
#include <cstring>

#include "platform/export/name_hash.h"
#include "platform/lan/name_folding.h"

namespace regfile {
namespace {

// Calls `name` for each name of a path.
template <class Function>
void ForEachName(std::u16string_view path, Function name) {
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) name(path.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

ExportKeyTree::ExportKeyTree() : slots_(512, kNone) { nodes_.emplace_back(); }

std::size_t ExportKeyTree::Slot(KeyIndex parent, std::u16string_view folded) const {
  return static_cast<std::size_t>(NameHash(folded, parent)) & (slots_.size() - 1);
}

bool ExportKeyTree::SameFolded(KeyIndex key, std::u16string_view folded) const {
  return nodes_[key].NameLength == folded.size() &&
         std::memcmp(folded_.data() + nodes_[key].NameOffset, folded.data(), folded.size() * 2) == 0;
}

ExportKeyTree::KeyIndex ExportKeyTree::Lookup(KeyIndex parent, std::u16string_view folded) const {
  for (std::size_t slot = Slot(parent, folded);; slot = (slot + 1) & (slots_.size() - 1)) {
    const KeyIndex key = slots_[slot];
    if (key == kNone) return kNone;
    if (nodes_[key].Parent == parent && SameFolded(key, folded)) return key;
  }
}

void ExportKeyTree::Unlist(KeyIndex key) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = Slot(nodes_[key].Parent, Folded(key));
  while (slots_[hole] != key) hole = (hole + 1) & mask;
  // The keys behind the hole, up to the next free slot, move into it
  // unless they would then lie before their own slot: every chain stays
  // unbroken, and none holds keys that are gone.
  for (std::size_t next = (hole + 1) & mask; slots_[next] != kNone; next = (next + 1) & mask) {
    const std::size_t home = Slot(nodes_[slots_[next]].Parent, Folded(slots_[next]));
    if (((next - home) & mask) >= ((next - hole) & mask)) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = kNone;
}

void ExportKeyTree::Grow() {
  std::vector<KeyIndex> old(slots_.size() * 2, kNone);
  old.swap(slots_);
  for (KeyIndex key : old) {
    if (key == kNone) continue;
    std::size_t slot = Slot(nodes_[key].Parent, Folded(key));
    while (slots_[slot] != kNone) slot = (slot + 1) & (slots_.size() - 1);
    slots_[slot] = key;
  }
}

ExportKeyTree::KeyIndex ExportKeyTree::LookupOrAdd(KeyIndex parent, std::u16string_view name,
                                                   std::u16string_view folded) {
  if ((nodes_.size() + 1) * 2 > slots_.size()) Grow();
  std::size_t slot = Slot(parent, folded);
  for (;; slot = (slot + 1) & (slots_.size() - 1)) {
    const KeyIndex key = slots_[slot];
    if (key == kNone) break;
    if (nodes_[key].Parent == parent && SameFolded(key, folded)) return key;
  }
  Node node;
  node.Parent = parent;
  node.NameOffset = static_cast<std::uint32_t>(names_.size());
  node.NameLength = static_cast<std::uint32_t>(name.size());
  names_.append(name);
  folded_.append(folded);
  const auto key = static_cast<KeyIndex>(nodes_.size());
  nodes_.push_back(node);
  slots_[slot] = key;
  return key;
}

std::optional<ExportKeyTree::KeyIndex> ExportKeyTree::Create(std::u16string_view path) {
  if (path.size() > kLongestName) {
    bool too_long = false;
    ForEachName(path, [&](std::u16string_view name) { too_long = too_long || name.size() > kLongestName; });
    if (too_long) return std::nullopt;
  }
  // The leading names that this path shares with the latest one, as
  // written, lead to the same keys.
  std::size_t common = 0;
  const std::size_t shorter = std::min(path.size(), last_path_.size());
  while (common + 4 <= shorter && std::memcmp(path.data() + common, last_path_.data() + common, 8) == 0) common += 4;
  while (common < shorter && path[common] == last_path_[common]) ++common;
  std::size_t depth = 0;
  while (depth < last_ends_.size() && last_ends_[depth] <= common &&
         (last_ends_[depth] == path.size() || path[last_ends_[depth]] == u'\\')) {
    ++depth;
  }
  KeyIndex key = depth == 0 ? kRoot : last_keys_[depth - 1];
  const std::size_t rest = depth == 0 ? 0 : last_ends_[depth - 1];
  last_path_.assign(path);
  last_ends_.resize(depth);
  last_keys_.resize(depth);
  ForEachName(path.substr(rest), [&](std::u16string_view name) {
    lan::FoldNameInto(name, scratch_);
    key = LookupOrAdd(key, name, scratch_);
    last_ends_.push_back(static_cast<std::size_t>(name.data() + name.size() - path.data()));
    last_keys_.push_back(key);
  });
  return key;
}

void ExportKeyTree::Delete(std::u16string_view path) {
  last_path_.clear();
  last_ends_.clear();
  last_keys_.clear();
  KeyIndex key = kRoot;
  ForEachName(path, [&](std::u16string_view name) {
    if (key == kNone) return;
    lan::FoldNameInto(name, scratch_);
    key = Lookup(key, scratch_);
  });
  // The root itself is never deleted. A key deleted leaves the table, so
  // that a key deleted and created again and again costs no more than
  // once; the keys below it stay, out of reach, as their parent is gone.
  if (key != kNone && key != kRoot) {
    nodes_[key].Deleted = true;
    Unlist(key);
  }
}

void ExportKeyTree::AddSection(KeyIndex key, std::size_t begin, std::size_t end) {
  const auto index = static_cast<std::uint32_t>(sections_.size());
  sections_.push_back(Section{begin, end, kNone, false});
  Node& node = nodes_[key];
  if (node.LastSection == kNone) {
    node.FirstSection = index;
  } else {
    sections_[node.LastSection].Next = index;
  }
  node.LastSection = index;
}

void ExportKeyTree::Finish() {
  // A key lives while no key on its way up was deleted; a parent always
  // comes before its children.
  std::vector<bool> live(nodes_.size(), true);
  children_.clear();
  for (KeyIndex key = 1; key < nodes_.size(); ++key) {
    live[key] = !nodes_[key].Deleted && live[nodes_[key].Parent];
    if (live[key]) children_.push_back(key);
  }
  // An export lists the keys in this order already, as a rule.
  const auto in_order = [this](KeyIndex a, KeyIndex b) {
    if (nodes_[a].Parent != nodes_[b].Parent) return nodes_[a].Parent < nodes_[b].Parent;
    return Folded(a) < Folded(b);
  };
  if (!std::is_sorted(children_.begin(), children_.end(), in_order)) {
    std::sort(children_.begin(), children_.end(), in_order);
  }
  for (std::uint32_t i = 0; i < children_.size(); ++i) {
    Node& parent = nodes_[nodes_[children_[i]].Parent];
    if (parent.ChildCount == 0) parent.FirstChild = i;
    nodes_[children_[i]].Position = parent.ChildCount++;
  }
  last_path_ = std::u16string();
  last_ends_ = std::vector<std::size_t>();
  last_keys_ = std::vector<KeyIndex>();
}

std::optional<ExportKeyTree::KeyIndex> ExportKeyTree::Find(KeyIndex start, std::u16string_view path) {
  // The table of the building holds every key but those deleted: a key
  // below a live one is live.
  KeyIndex key = start;
  ForEachName(path, [&](std::u16string_view name) {
    if (key == kNone) return;
    lan::FoldNameInto(name, scratch_);
    key = Lookup(key, scratch_);
  });
  if (key == kNone) return std::nullopt;
  return key;
}

}  // namespace regfile
