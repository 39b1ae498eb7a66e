#include "platform/standin/console/windows_error.h"

#include <cerrno>

namespace standin {

// The nearest Windows code for each host error, so that a failure shows
// the same number on both platforms. Errors without a close Windows
// counterpart become ERROR_GEN_FAILURE (31).
DWORD WindowsErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;  // 2
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;  // 3
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;  // 4
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;  // 5
    case EBADF:
      return ERROR_INVALID_HANDLE;  // 6
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;  // 8
    case EROFS:
      return 19;  // ERROR_WRITE_PROTECT
    case ENODEV:
    case ENXIO:
      return 55;  // ERROR_DEV_NOT_EXIST
    case ECONNRESET:
      return 64;  // ERROR_NETNAME_DELETED
    case EEXIST:
      return ERROR_FILE_EXISTS;  // 80
    case EINVAL:
    case ESPIPE:
      return ERROR_INVALID_PARAMETER;  // 87
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;  // 112
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;  // 206
    case EFBIG:
      return 223;  // ERROR_FILE_TOO_LARGE
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;  // 145
    case EBUSY:
      return ERROR_BUSY;  // 170
    case EPIPE:
      return ERROR_NO_DATA;  // 232, the pipe is being closed
    case EIO:
      return ERROR_IO_DEVICE;  // 1117
    case ETIMEDOUT:
      return ERROR_TIMEOUT;  // 1460
    default:
      return ERROR_GEN_FAILURE;  // 31
  }
}

void SetLastErrorFromErrno() { SetLastError(WindowsErrorFromErrno(errno)); }

}  // namespace standin
