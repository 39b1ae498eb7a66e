#include "platform/lan/container_lookup.h"

#include "platform/ascii_case.h"

namespace lan {
namespace {

std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(ascii_case::Folded(c));
  return folded;
}

std::optional<std::string_view> View(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

}  // namespace

ContainerIndex::ContainerIndex(const NetworkRecord& top) { Add(top); }

void ContainerIndex::Add(const NetworkRecord& container) {
  for (const NetworkRecord& child : container.Children) {
    if ((child.Usage & RESOURCEUSAGE_CONTAINER) != 0) {
      if (child.RemoteName) {
        named_[Folded(*child.RemoteName)].push_back(&child);
      } else {
        unnamed_.push_back(&child);
      }
    }
    Add(child);
  }
}

const NetworkRecord* ContainerIndex::Find(std::optional<std::string_view> remote_name,
                                          std::optional<std::string_view> provider) const {
  const std::vector<const NetworkRecord*>* candidates = &unnamed_;
  if (remote_name) {
    const auto found = named_.find(Folded(*remote_name));
    if (found == named_.end()) return nullptr;
    candidates = &found->second;
  }
  for (const NetworkRecord* candidate : *candidates) {
    if (!provider || (candidate->Provider && ascii_case::Same(*provider, *candidate->Provider))) return candidate;
  }
  return nullptr;
}

const NetworkRecord* ContainerIndex::OpenedBy(const NetworkRecord& record) const {
  return Find(View(record.RemoteName), View(record.Provider));
}

}  // namespace lan
