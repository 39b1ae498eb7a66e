// The hash by which the export reader's tables find names: seeded once a
// process, so that the names of a file cannot be chosen to fall into one
// chain of a table.
#pragma once

#include <cstdint>
#include <string_view>

namespace regfile {

// The hash of `units` and `salt` (which tells apart equal names of
// different owners).
std::uint64_t NameHash(std::u16string_view units, std::uint64_t salt);

}  // namespace regfile
