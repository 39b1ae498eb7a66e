// How a LAN directory finds the container that a caller's record describes,
// as a network provider does: by the record's remote name, compared
// without regard to case, and by its provider when the record names one.
// An absent remote name finds a container that has none either. The
// caller's record may be a copy that lives anywhere.
#pragma once

#include <optional>
#include <string_view>

#include "platform/lan/lan_model.h"

namespace lan {

// The first container below `top`, depth first, that the names describe;
// null when none does. The same container may stand at several places of
// the hierarchy (a server in two workgroups); its first place answers for
// all of them.
const NetworkRecord* FindContainer(std::optional<std::string_view> remote_name,
                                   std::optional<std::string_view> provider, const NetworkRecord& top);

// The container that enumerating `record` opens, when a caller hands the
// record back as it was enumerated.
const NetworkRecord* ContainerOpenedBy(const NetworkRecord& record, const NetworkRecord& top);

}  // namespace lan
