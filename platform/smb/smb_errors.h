// libsmbclient reports failures as errno values; the LAN seam speaks
// Windows error codes. The mapping depends on the step that failed: the
// same ENOENT means "no such computer" while connecting and "no such
// pipe" once the computer answered.
#pragma once

#include "platform/windows_api.h"

namespace smb {

// Windows codes that the stand-in's header does not carry.
inline constexpr DWORD kErrorLogonFailure = 1326;
inline constexpr DWORD kErrorBadNetName = 67;
inline constexpr DWORD kErrorNetworkUnreachable = 1231;

enum class SmbStep {
  kOpen,      // connecting, logging on, opening the pipe
  kTransfer,  // reading or writing an open pipe
  kBrowse,    // opening or reading a level of the browse list
};

DWORD WindowsErrorFromErrno(int error, SmbStep step);

}  // namespace smb
