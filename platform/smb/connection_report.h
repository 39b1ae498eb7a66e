// What the SMB network tells the user about a computer it cannot read:
// one message on standard error naming the computer, the Windows error
// code and its reason. The program above only sees the error codes, as it
// would on Windows, and so lists nothing for such a computer; the message
// says why.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "platform/lan/lan_source.h"

namespace smb {

// The reason of a Windows error code in words, for the codes that the
// SMB network returns ("the network path was not found", ...).
std::string ReasonOf(DWORD error);

// True for codes that mean the connection itself is gone or cannot be
// trusted any more (a broken pipe, a time limit, a protocol error), as
// opposed to the registry's answer to one call.
bool IsConnectionLost(DWORD error);

// `registry` (of `machine`, connected at `root`) with a watch on its calls:
//  - the first that fails because the connection was lost reports to
//    `messages` that the listing of `machine` was cut short, and every
//    later call fails at once with the same code, so that a dead server
//    costs no further waits;
//  - a key that cannot be opened because it does not exist or refuses
//    access is reported with its full name.
std::unique_ptr<lan::RemoteRegistry> ReportingRegistry(std::unique_ptr<lan::RemoteRegistry> registry,
                                                       std::u16string machine, HKEY root, std::ostream& messages);

}  // namespace smb
