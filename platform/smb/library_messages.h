// libsmbclient's own messages. The library writes them on standard output
// unless told otherwise, where they would land in the report, and prints
// some (its level 0) whatever its debug level. Every message it makes goes
// through here instead, and reaches standard error only when asked for
// (KESTROVA_SMB_DEBUG), each line starting with "kestrova: libsmbclient: ".
#pragma once

#include <ostream>

namespace smb {

// Routes libsmbclient's logging here. Once per process, before its first
// context: reading smb.conf can already make messages.
void RouteLibraryMessages();

// Shows the messages of libsmbclient's `level` and below; none for -1.
void ShowLibraryMessagesUpTo(int level);

// Sends the messages that libsmbclient makes on this thread to `to`
// instead of standard error; null: to standard error again.
void ShowLibraryMessagesOfThisThreadOn(std::ostream* to);

// Shows one message of `level` if it is asked for.
void ShowLibraryMessage(int level, const char* message);

}  // namespace smb
