#include "runtime/text_file.h"

#include <cstring>

#include "runtime/output_failure.h"

TTextFile StdOut;

namespace {

std::int32_t DoNothing(TTextFile&) { return 0; }

// Binds the file to the standard output handle. A missing handle fails
// with the platform's code, a handle of unusable type with 105; a
// character device has every line written at its end.
std::int32_t OpenStandardOutput(TTextFile& file) {
  file.BufferPosition = 0;
  file.InOutOperation = WriteOut;
  file.FlushOperation = DoNothing;
  file.CloseOperation = DoNothing;
  file.BufferSize = kStdOutBufferSize;
  file.BufferPointer = file.InlineBuffer;
  file.Handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (file.Handle == INVALID_HANDLE_VALUE) {
    file.Mode = ModeClosed;
    return static_cast<std::int32_t>(GetLastError());
  }
  switch (GetFileType(file.Handle)) {
    case FILE_TYPE_UNKNOWN:
      CloseHandle(file.Handle);
      file.Mode = ModeClosed;
      return kFileNotOpenForOutput;
    case FILE_TYPE_CHAR:
      file.FlushOperation = WriteOut;
      return 0;
    default:
      return 0;
  }
}

// Any failure to open leaves 105 pending, whatever the open reported.
bool OpenForOutput(TTextFile& file) {
  file.Flags = LineEndCrLf;
  file.Mode = ModeOutput;
  const std::int32_t result = file.OpenOperation(file);
  if (result != 0) PendingIoError = result;
  if (file.Mode != ModeOutput) {
    PendingIoError = kFileNotOpenForOutput;
    return false;
  }
  return true;
}

}  // namespace

void InitializeStdOutFile(TTextFile& file) {
  std::memset(&file, 0, sizeof file);
  file.Mode = ModeClosed;
  file.BufferSize = kStdOutBufferSize;
  file.BufferPointer = file.InlineBuffer;
  file.OpenOperation = OpenStandardOutput;
}

void AppendBytes(TTextFile& file, const char* bytes, std::uint32_t n) {
  if (file.Mode != ModeOutput && !OpenForOutput(file)) return;
  for (;;) {
    const std::uint32_t free = file.BufferSize - file.BufferPosition;
    if (n < free) {
      if (n > 0) std::memcpy(file.BufferPointer + file.BufferPosition, bytes, n);
      file.BufferPosition += n;
      return;
    }
    // Fill the buffer exactly and write it out at once.
    std::memcpy(file.BufferPointer + file.BufferPosition, bytes, free);
    file.BufferPosition = file.BufferSize;
    const std::int32_t result = file.InOutOperation(file);
    bytes += free;
    n -= free;
    if (result != 0) {
      PendingIoError = result;
      return;
    }
  }
}

std::int32_t WriteOut(TTextFile& file) {
  if (file.BufferPosition == 0) return 0;
  DWORD written = 0;
  const BOOL ok = WriteFile(file.Handle, file.BufferPointer, file.BufferPosition, &written, nullptr);
  file.BufferPosition = 0;
  return ok ? 0 : static_cast<std::int32_t>(GetLastError());
}

void EndLine(TTextFile& file) {
  if ((file.Flags & LineEndCrLf) != 0) {
    AppendBytes(file, "\r\n", 2);
  } else {
    AppendBytes(file, "\n", 1);
  }
  if (file.Mode != ModeOutput) return;
  const std::int32_t result = file.FlushOperation(file);
  if (result != 0) PendingIoError = result;
}

void CloseTextFile(TTextFile& file) {
  if (file.Mode != ModeOutput) return;
  std::int32_t result = file.InOutOperation(file);
  if (result == 0) result = file.CloseOperation(file);
  if (result != 0) PendingIoError = result;
}

void PutLine(std::string_view text) {
  AppendBytes(StdOut, text.data(), static_cast<std::uint32_t>(text.size()));
  EndLine(StdOut);
  CheckIo();
}

std::int32_t FlushOutput() {
  if (StdOut.Mode != ModeOutput) return 0;
  const std::int32_t result = StdOut.InOutOperation(StdOut);
  if (result != 0) PendingIoError = result;
  return result;
}
