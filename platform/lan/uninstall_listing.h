// The calls that the program's inventory makes over one computer's
// registry (registry/registry.cpp, through the stand-in's registry
// functions), made without the program: by the SMB network to read a
// computer ahead of the program, and by the tests, the probe and the
// benchmarks: the Uninstall key opened from the root and its facts
// read; the names of as many subkeys as the facts count, a name whose call
// fails skipped; then each subkey opened from the root, its DisplayName's
// size asked twice and its data read, and the subkey closed.
#pragma once

#include <string>
#include <vector>

#include "platform/lan/lan_source.h"

namespace lan {

inline constexpr char16_t kUninstallPath[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct ListedSubkey {
  // The call that failed, if one did: then Status is its error.
  enum class Failed { kNothing, kName, kOpen, kDisplayName };
  Failed Step = Failed::kNothing;
  DWORD Status = NO_ERROR;
  std::u16string Name;  // empty where the name could not be read
  // DisplayName's type and data, where they were read.
  DWORD Type = REG_NONE;
  std::string Data;

  // The text of a string-typed DisplayName, up to its first zero; empty for
  // any other.
  std::u16string DisplayName() const;
};

struct UninstallListing {
  // The error of the Uninstall key's open or of its facts, which leave
  // nothing listed.
  DWORD Status = NO_ERROR;
  std::vector<ListedSubkey> Subkeys;  // in the order of their indexes
};

UninstallListing ListUninstallKey(RemoteRegistry& registry);

}  // namespace lan
