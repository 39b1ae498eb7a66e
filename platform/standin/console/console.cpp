// The console over POSIX descriptors: GetStdHandle, SetStdHandle,
// GetFileType, WriteFile and CloseHandle.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/standin/console/console_control.h"
#include "platform/standin/console/process.h"
#include "platform/standin/console/windows_error.h"

namespace {

// A standard handle replaced with SetStdHandle; unset slots follow the
// process's descriptors 0, 1 and 2.
struct StandardSlot {
  bool replaced = false;
  HANDLE handle = nullptr;
};
StandardSlot standard_slots[3];

int SlotIndex(DWORD std_handle) {
  switch (std_handle) {
    case STD_INPUT_HANDLE:
      return 0;
    case STD_OUTPUT_HANDLE:
      return 1;
    case STD_ERROR_HANDLE:
      return 2;
    default:
      return -1;
  }
}

// Waits until a non-blocking descriptor can take more bytes.
bool WaitUntilWritable(int descriptor) {
  pollfd entry{descriptor, POLLOUT, 0};
  for (;;) {
    const int ready = poll(&entry, 1, -1);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

namespace standin {

// Handle values are the descriptor plus one, so that descriptor 0 is not
// the null handle.
HANDLE HandleFromDescriptor(int descriptor) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(descriptor) + 1); }

int DescriptorFromHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
  const LONG_PTR value = reinterpret_cast<LONG_PTR>(handle) - 1;
  if (value < 0 || value > 0x7FFFFFFF) return -1;
  return static_cast<int>(value);
}

}  // namespace standin

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  const int slot = SlotIndex(nStdHandle);
  if (slot < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  if (standard_slots[slot].replaced) return standard_slots[slot].handle;
  if (!standin::StandardDescriptorWasOpen(slot) || fcntl(slot, F_GETFD) == -1) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  return standin::HandleFromDescriptor(slot);
}

BOOL WINAPI SetStdHandle(DWORD nStdHandle, HANDLE hHandle) {
  const int slot = SlotIndex(nStdHandle);
  if (slot < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  standard_slots[slot] = {true, hHandle};
  return TRUE;
}

// A terminal is the interactive character device; a pipe or socket is a
// pipe; a regular file and every other device are written like a disk file.
DWORD WINAPI GetFileType(HANDLE hFile) {
  const int descriptor = standin::DescriptorFromHandle(hFile);
  struct stat facts {};
  if (descriptor < 0 || fstat(descriptor, &facts) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(NO_ERROR);
  if (isatty(descriptor)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(facts.st_mode) || S_ISSOCK(facts.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_DISK;
}

// Either every byte is written or the call fails: interrupted and partial
// writes are continued, and a full non-blocking descriptor is waited for.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED /*lpOverlapped*/) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  const int descriptor = standin::DescriptorFromHandle(hFile);
  if (descriptor < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const char* bytes = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const ssize_t written = write(descriptor, bytes + done, nNumberOfBytesToWrite - done);
    if (written >= 0) {
      done += static_cast<DWORD>(written);
      continue;
    }
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitUntilWritable(descriptor)) continue;
    standin::SetLastErrorFromErrno();
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
    return FALSE;
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  const int descriptor = standin::DescriptorFromHandle(hObject);
  if (descriptor < 0 || close(descriptor) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
