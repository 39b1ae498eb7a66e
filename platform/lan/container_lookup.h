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
  // A remote name (absent or not) with A to Z folded to a to z, and a
  // provider's number (kAnyProvider for a search that names none).
  using Key = std::pair<std::optional<std::string>, std::uint32_t>;
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  static constexpr std::uint32_t kAnyProvider = 0;

  void Add(const NetworkRecord& container);

  // The providers' names, folded, numbered from 1.
  std::unordered_map<std::string, std::uint32_t> providers_;
  // The first container depth first under each key: once under its
  // provider's number and once under kAnyProvider.
  std::unordered_map<Key, const NetworkRecord*, KeyHash> first_;
};

}  // namespace lan
