#include "platform/lan/container_lookup.h"

#include <string>

#include "platform/ascii_case.h"

namespace lan {
namespace {

bool Describes(std::optional<std::string_view> remote_name, std::optional<std::string_view> provider,
               const NetworkRecord& record) {
  if ((record.Usage & RESOURCEUSAGE_CONTAINER) == 0) return false;
  if (remote_name.has_value() != record.RemoteName.has_value()) return false;
  if (remote_name && !ascii_case::Same(*remote_name, *record.RemoteName)) return false;
  if (provider && (!record.Provider || !ascii_case::Same(*provider, *record.Provider))) return false;
  return true;
}

std::optional<std::string_view> View(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

}  // namespace

const NetworkRecord* FindContainer(std::optional<std::string_view> remote_name,
                                   std::optional<std::string_view> provider, const NetworkRecord& top) {
  for (const NetworkRecord& child : top.Children) {
    if (Describes(remote_name, provider, child)) return &child;
    if (const NetworkRecord* found = FindContainer(remote_name, provider, child)) return found;
  }
  return nullptr;
}

const NetworkRecord* ContainerOpenedBy(const NetworkRecord& record, const NetworkRecord& top) {
  return FindContainer(View(record.RemoteName), View(record.Provider), top);
}

}  // namespace lan
