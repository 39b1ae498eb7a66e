#include "platform/export_key_tree.h"

#include <algorithm>

#include "platform/registry_name_fold.h"

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

// folded against the folded form of `name`: negative, 0 or positive.
int CompareWithFolded(std::u16string_view folded, std::u16string_view name) {
  const std::size_t common = std::min(folded.size(), name.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t unit = FoldUnit(name[i]);
    if (folded[i] != unit) return folded[i] < unit ? -1 : 1;
  }
  if (folded.size() == name.size()) return 0;
  return folded.size() < name.size() ? -1 : 1;
}

}  // namespace

ExportKeyTree::ExportKeyTree() : slots_(64, kNone) { nodes_.emplace_back(); }

std::size_t ExportKeyTree::Slot(KeyIndex parent, std::u16string_view folded) const {
  std::uint64_t hash = 1469598103934665603ULL ^ parent;
  for (char16_t unit : folded) hash = (hash ^ unit) * 1099511628211ULL;
  return static_cast<std::size_t>(hash ^ (hash >> 29)) & (slots_.size() - 1);
}

ExportKeyTree::KeyIndex ExportKeyTree::Lookup(KeyIndex parent, std::u16string_view folded) const {
  for (std::size_t slot = Slot(parent, folded);; slot = (slot + 1) & (slots_.size() - 1)) {
    const KeyIndex key = slots_[slot];
    if (key == kNone) return kNone;
    if (nodes_[key].Parent == parent && !nodes_[key].Deleted && Folded(key) == folded) return key;
  }
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

ExportKeyTree::KeyIndex ExportKeyTree::Add(KeyIndex parent, std::u16string_view name, std::u16string_view folded) {
  if ((nodes_.size() + 1) * 2 > slots_.size()) Grow();
  Node node;
  node.Parent = parent;
  node.NameOffset = static_cast<std::uint32_t>(names_.size());
  node.NameLength = static_cast<std::uint32_t>(name.size());
  names_.append(name);
  folded_.append(folded);
  const auto key = static_cast<KeyIndex>(nodes_.size());
  nodes_.push_back(node);
  std::size_t slot = Slot(parent, folded);
  while (slots_[slot] != kNone) slot = (slot + 1) & (slots_.size() - 1);
  slots_[slot] = key;
  return key;
}

std::optional<ExportKeyTree::KeyIndex> ExportKeyTree::Create(std::u16string_view path) {
  bool too_long = false;
  ForEachName(path, [&](std::u16string_view name) { too_long = too_long || name.size() > kLongestName; });
  if (too_long) return std::nullopt;
  KeyIndex key = kRoot;
  ForEachName(path, [&](std::u16string_view name) {
    FoldName(name, scratch_);
    const KeyIndex child = Lookup(key, scratch_);
    key = child != kNone ? child : Add(key, name, scratch_);
  });
  return key;
}

void ExportKeyTree::Delete(std::u16string_view path) {
  KeyIndex key = kRoot;
  ForEachName(path, [&](std::u16string_view name) {
    if (key == kNone) return;
    FoldName(name, scratch_);
    key = Lookup(key, scratch_);
  });
  // The root itself is never deleted.
  if (key != kNone && key != kRoot) nodes_[key].Deleted = true;
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
  std::sort(children_.begin(), children_.end(), [this](KeyIndex a, KeyIndex b) {
    if (nodes_[a].Parent != nodes_[b].Parent) return nodes_[a].Parent < nodes_[b].Parent;
    return Folded(a) < Folded(b);
  });
  for (std::uint32_t i = 0; i < children_.size(); ++i) {
    Node& parent = nodes_[nodes_[children_[i]].Parent];
    if (parent.ChildCount == 0) parent.FirstChild = i;
    ++parent.ChildCount;
  }
  slots_ = std::vector<KeyIndex>();
  scratch_ = std::u16string();
}

std::optional<ExportKeyTree::KeyIndex> ExportKeyTree::Find(KeyIndex start, std::u16string_view path) const {
  KeyIndex key = start;
  ForEachName(path, [&](std::u16string_view name) {
    if (key == kNone) return;
    const Node& node = nodes_[key];
    const auto first = children_.begin() + node.FirstChild;
    const auto last = first + node.ChildCount;
    const auto found = std::lower_bound(first, last, name, [this](KeyIndex child, std::u16string_view wanted) {
      return CompareWithFolded(Folded(child), wanted) < 0;
    });
    key = found != last && CompareWithFolded(Folded(*found), name) == 0 ? *found : kNone;
  });
  if (key == kNone) return std::nullopt;
  return key;
}

}  // namespace regfile
