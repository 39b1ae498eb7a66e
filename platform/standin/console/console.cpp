// The console over POSIX descriptors: GetStdHandle, SetStdHandle,
// GetFileType, WriteFile and CloseHandle.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/standin/console/console_control.h"
#include "platform/standin/console/descriptor_write.h"
#include "platform/standin/console/host_locale.h"
#include "platform/standin/console/process_start.h"
#include "platform/standin/console/program_status.h"
#include "platform/standin/console/terminal_text.h"
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

// A descriptor that WriteFile has written to: whether it is a terminal,
// decided at its first write as GetFileType decides it, and for a
// terminal the text on its way there (terminal_text.h), which reads UTF-8
// when the host's locale does. Forgotten when CloseHandle closes it: a
// handle written to is closed with CloseHandle, not behind its back.
struct WriteTarget {
  bool Terminal = false;
  standin::TerminalText Text{false};
};
std::mutex write_targets_guard;
std::unordered_map<int, WriteTarget> write_targets;

// The target of a descriptor, decided now if it is new; nullptr for a
// descriptor that is not open, which is decided again at the next write.
WriteTarget* TargetOf(int descriptor) {
  const auto found = write_targets.find(descriptor);
  if (found != write_targets.end()) return &found->second;
  const bool terminal = isatty(descriptor) != 0;
  if (!terminal && errno == EBADF) return nullptr;
  return &write_targets.emplace(descriptor, WriteTarget{terminal, standin::TerminalText(standin::HostLocaleIsUtf8())})
              .first->second;
}

// Sends `count` bytes to a terminal as its text shows them, a piece at a
// time, with the program's status line erased where it shares the
// terminal. `taken` counts the bytes whose piece was sent whole.
bool WriteToTerminal(int descriptor, standin::TerminalText& text, const char* bytes, std::size_t count,
                     std::size_t& taken) {
  constexpr std::size_t kPiece = 4096;
  char shown[kPiece + standin::TerminalText::kMostHeld];
  standin::ProgramOutput status(descriptor);
  taken = 0;
  while (taken < count) {
    const std::size_t piece = std::min(kPiece, count - taken);
    const std::size_t length = text.Show({bytes + taken, piece}, shown);
    std::size_t written = 0;
    const bool ok = standin::WriteAll(descriptor, shown, length, written);
    status.Sent({shown, written});
    if (!ok) return false;
    taken += piece;
  }
  return true;
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
// A terminal is sent no control character (terminal_text.h); a file or a
// pipe gets the bytes as they are.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED /*lpOverlapped*/) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  const int descriptor = standin::DescriptorFromHandle(hFile);
  if (descriptor < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const char* bytes = static_cast<const char*>(lpBuffer);
  std::size_t done = 0;
  bool ok = false;
  int failure = 0;
  {
    // Held while a terminal is written to, so that its text sees the
    // writes in the order they reach it.
    std::unique_lock lock(write_targets_guard);
    WriteTarget* target = TargetOf(descriptor);
    if (target != nullptr && target->Terminal) {
      ok = WriteToTerminal(descriptor, target->Text, bytes, nNumberOfBytesToWrite, done);
    } else {
      lock.unlock();
      ok = standin::WriteAll(descriptor, bytes, nNumberOfBytesToWrite, done);
    }
    failure = errno;
  }
  if (!ok) SetLastError(standin::WindowsErrorFromErrno(failure));
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(done);
  return ok ? TRUE : FALSE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  const int descriptor = standin::DescriptorFromHandle(hObject);
  if (descriptor >= 0) {
    const std::lock_guard lock(write_targets_guard);
    write_targets.erase(descriptor);
  }
  if (descriptor < 0 || close(descriptor) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
