#include "platform/smb/smb_errors.h"

#include <cerrno>

namespace smb {

DWORD WindowsErrorFromErrno(int error, SmbStep step) {
  switch (error) {
    case EACCES:
      return ERROR_ACCESS_DENIED;
    case EPERM:
      // libsmbclient's word for a refused logon (NT_STATUS_LOGON_FAILURE).
      return step == SmbStep::kTransfer ? ERROR_ACCESS_DENIED : kErrorLogonFailure;
    case ETIMEDOUT:
      return step == SmbStep::kTransfer ? ERROR_TIMEOUT : ERROR_BAD_NETPATH;
    case ENOENT:
      // Connected and logged on, but the server offers no such pipe: the
      // service behind it is not running.
      return step == SmbStep::kOpen ? ERROR_FILE_NOT_FOUND : ERROR_BAD_NETPATH;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      // Everything else means the computer cannot be reached (EINVAL for a
      // name that does not resolve, ECONNREFUSED, EHOSTUNREACH, ...) or,
      // once connected, that the connection is gone (EPIPE, ECONNRESET,
      // ENOTCONN, EBADF, EIO, ...).
      return step == SmbStep::kTransfer ? ERROR_BROKEN_PIPE : ERROR_BAD_NETPATH;
  }
}

}  // namespace smb
