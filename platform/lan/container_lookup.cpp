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

std::size_t ContainerIndex::NameAndProviderHash::operator()(const NameAndProvider& key) const {
  const std::size_t name = std::hash<Name>()(key.first);
  return name ^ (std::hash<std::uint32_t>()(key.second) + 0x9E3779B9u + (name << 6) + (name >> 2));
}

ContainerIndex::ContainerIndex(const NetworkRecord& top) { Add(top); }

void ContainerIndex::Add(const NetworkRecord& container) {
  for (const NetworkRecord& child : container.Children) {
    if ((child.Usage & RESOURCEUSAGE_CONTAINER) != 0) {
      Name name = Folded(View(child.RemoteName));
      const auto [first, added] = first_.try_emplace(name, &child);
      // A container without a provider is found only by searches that
      // name none; one of the first container's provider is never found.
      const std::optional<std::string>& first_provider = first->second->Provider;
      if (!added && child.Provider && !(first_provider && ascii_case::Same(*first_provider, *child.Provider))) {
        const auto next = static_cast<std::uint32_t>(providers_.size() + 1);
        const std::uint32_t number =
            providers_.try_emplace(ascii_case::FoldedText(*child.Provider), next).first->second;
        first_of_provider_.try_emplace(NameAndProvider(std::move(name), number), &child);
      }
    }
    Add(child);
  }
}

const NetworkRecord* ContainerIndex::Find(std::optional<std::string_view> remote_name,
                                          std::optional<std::string_view> provider) const {
  Name name = Folded(remote_name);
  const auto first = first_.find(name);
  if (first == first_.end()) return nullptr;
  const NetworkRecord* container = first->second;
  if (!provider || (container->Provider && ascii_case::Same(*container->Provider, *provider))) return container;
  const auto known = providers_.find(ascii_case::FoldedText(*provider));
  if (known == providers_.end()) return nullptr;
  const auto found = first_of_provider_.find(NameAndProvider(std::move(name), known->second));
  return found == first_of_provider_.end() ? nullptr : found->second;
}

const NetworkRecord* ContainerIndex::OpenedBy(const NetworkRecord& record) const {
  return Find(View(record.RemoteName), View(record.Provider));
}

}  // namespace lan
