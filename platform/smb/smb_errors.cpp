#include "platform/smb/smb_errors.h"

#include <cerrno>

#include "platform/smb/rpc/status.h"

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

std::string ReasonOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return "the remote registry service is not running";
    case ERROR_ACCESS_DENIED:
      return "access is denied; check the credentials";
    case ERROR_BAD_NETPATH:
      return "the network path was not found: the computer does not resolve, refuses or does not answer";
    case kErrorBadNetName:
      return "the network name cannot be found";
    case ERROR_BROKEN_PIPE:
      return "the pipe has been ended: the server closed the connection";
    case ERROR_TIMEOUT:
      return "the server did not answer in time";
    case kErrorLogonFailure:
      return "the user name or password is incorrect";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "not enough memory";
    case ERROR_NO_NETWORK:
      return "the network is not present: no network interface is up, or libsmbclient could not start";
    case ERROR_NOT_SUPPORTED:
      return "the request is not supported";
    case rpc::kRpcServerUnavailable:
      return "the RPC server is unavailable";
    case rpc::kRpcCallFailed:
    case rpc::kRpcCallFailedNotExecuted:
      return "the remote procedure call failed";
    case rpc::kRpcProtocolError:
    case rpc::kRpcBadStubData:
      return "the server's reply broke the RPC protocol";
    default:
      return "Windows error " + std::to_string(error);
  }
}

bool IsConnectionLost(DWORD error) {
  switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_TIMEOUT:
    case ERROR_BAD_NETPATH:
    case kErrorBadNetName:
    case kErrorNetworkUnreachable:
    case kErrorNetNameDeleted:
    case rpc::kRpcServerUnavailable:
    case rpc::kRpcServerTooBusy:
    case rpc::kRpcCallFailed:
    case rpc::kRpcCallFailedNotExecuted:
    case rpc::kRpcProtocolError:
    case rpc::kRpcBadStubData:
      return true;
    default:
      return false;
  }
}

}  // namespace smb
