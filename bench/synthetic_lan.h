// Synthetic LANs for the benchmarks: one registry export per computer, in
// either format, with the uninstall entries a real `reg export` holds:
// about fifteen values each, strings, dwords and hex(2) data wrapped onto
// continuation lines as the registry editor wraps them.
#pragma once

#include <cstdint>
#include <filesystem>

namespace bench {

enum class ExportFormat { kRegedit4, kVersion5 };

// Writes `computers` files PC100000.reg... into `directory` (which must
// exist), `applications` entries each; answers the bytes written.
std::uintmax_t WriteSyntheticLan(const std::filesystem::path& directory, ExportFormat format, int computers,
                                 int applications);

}  // namespace bench
