// How a LAN directory finds the container that a caller's record describes,
// as a network provider does: by the record's remote name, compared
// without regard to case, and by its provider when the record names one.
// An absent remote name finds a container that has none either. The
// caller's record may be a copy that lives anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/lan/lan_model.h"

namespace lan {

// The containers below a top record, by remote name and by remote name
// and provider, so that finding one costs the same in a LAN of thousands
// of computers (or of containers that share a name) as in a small one.
// The index points into the hierarchy, which must neither change nor move
// while the index is in use.
class ContainerIndex {
 public:
  explicit ContainerIndex(const NetworkRecord& top);

  // The first container below the top, depth first, that the names
  // describe; null when none does. The same container may stand at several
  // places of the hierarchy (a server in two workgroups); its first place
  // answers for all of them.
  const NetworkRecord* Find(std::optional<std::string_view> remote_name,
                            std::optional<std::string_view> provider) const;

  // The container that enumerating `record` opens, when a caller hands the
  // record back as it was enumerated.
  const NetworkRecord* OpenedBy(const NetworkRecord& record) const;

 private:
  // A remote name (absent or not) with A to Z folded to a to z.
  using Name = std::optional<std::string>;
  // A folded remote name and a provider's number.
  using NameAndProvider = std::pair<Name, std::uint32_t>;
  struct NameAndProviderHash {
    std::size_t operator()(const NameAndProvider& key) const;
  };

  void Add(const NetworkRecord& container);

  // The first container of each name, depth first; it answers a search by
  // its name alone, and one that names its provider.
  std::unordered_map<Name, const NetworkRecord*> first_;
  // The providers' names, folded, numbered from 1.
  std::unordered_map<std::string, std::uint32_t> providers_;
  // The first container of a name and a provider, where it is not the
  // first of its name: a name given to containers of several providers.
  std::unordered_map<NameAndProvider, const NetworkRecord*, NameAndProviderHash> first_of_provider_;
};

}  // namespace lan
