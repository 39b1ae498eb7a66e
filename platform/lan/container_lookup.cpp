#include "platform/lan/container_lookup.h"

#include <functional>

#include "platform/ascii_case.h"

namespace lan {
namespace {

std::optional<std::string> Folded(std::optional<std::string_view> name) {
  if (!name) return std::nullopt;
  return ascii_case::FoldedText(*name);
}

std::optional<std::string_view> View(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

}  // namespace

std::size_t ContainerIndex::KeyHash::operator()(const Key& key) const {
  const std::size_t name = key.first ? std::hash<std::string>()(*key.first) : 0x9E3779B9u;
  return name ^ (std::hash<std::uint32_t>()(key.second) + 0x9E3779B9u + (name << 6) + (name >> 2));
}

ContainerIndex::ContainerIndex(const NetworkRecord& top) { Add(top); }

void ContainerIndex::Add(const NetworkRecord& container) {
  for (const NetworkRecord& child : container.Children) {
    if ((child.Usage & RESOURCEUSAGE_CONTAINER) != 0) {
      std::optional<std::string> name = Folded(View(child.RemoteName));
      // A container without a provider is found only by searches that
      // name none.
      if (child.Provider) {
        const auto next = static_cast<std::uint32_t>(providers_.size() + 1);
        const std::uint32_t number =
            providers_.try_emplace(ascii_case::FoldedText(*child.Provider), next).first->second;
        first_.try_emplace(Key(name, number), &child);
      }
      first_.try_emplace(Key(std::move(name), kAnyProvider), &child);
    }
    Add(child);
  }
}

const NetworkRecord* ContainerIndex::Find(std::optional<std::string_view> remote_name,
                                          std::optional<std::string_view> provider) const {
  std::uint32_t number = kAnyProvider;
  if (provider) {
    const auto known = providers_.find(ascii_case::FoldedText(*provider));
    if (known == providers_.end()) return nullptr;
    number = known->second;
  }
  const auto found = first_.find(Key(Folded(remote_name), number));
  return found == first_.end() ? nullptr : found->second;
}

const NetworkRecord* ContainerIndex::OpenedBy(const NetworkRecord& record) const {
  return Find(View(record.RemoteName), View(record.Provider));
}

}  // namespace lan
