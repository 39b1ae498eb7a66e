// The SMB network's failures as Windows error codes, as the LAN seam
// speaks them, and their reasons in words for the messages that name them.
//
// libsmbclient reports failures as errno values. The mapping depends on the
// step that failed: the same ENOENT means "no such computer" while
// connecting and "no such pipe" once the computer answered.
#pragma once

#include <string>

#include "platform/windows_api.h"

namespace smb {

// Windows codes that the stand-in's header does not carry.
inline constexpr DWORD kErrorNetNameDeleted = 64;
inline constexpr DWORD kErrorBadNetName = 67;
inline constexpr DWORD kErrorNetworkUnreachable = 1231;
inline constexpr DWORD kErrorLogonFailure = 1326;
// What is ended because the run ends (ERROR_CANCELLED).
inline constexpr DWORD kErrorCancelled = 1223;

enum class SmbStep {
  kOpen,      // connecting, logging on, opening the pipe
  kTransfer,  // reading or writing an open pipe
  kBrowse,    // opening or reading a level of the browse list
};

DWORD WindowsErrorFromErrno(int error, SmbStep step);

// The reason of a Windows error code in words, for the codes that the
// SMB network returns ("the network path was not found", ...).
std::string ReasonOf(DWORD error);

// True for codes that mean the connection itself is gone or cannot be
// trusted any more (a broken pipe, a time limit, a protocol error), as
// opposed to the registry's answer to one call.
bool IsConnectionLost(DWORD error);

}  // namespace smb
