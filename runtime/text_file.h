// Standard output as a buffered text file, and the line writer on top of
// it. Bytes reach the handle only through WriteFile: on a console each line
// is written at its line end; to a file or pipe in blocks of exactly 128
// bytes, and the rest when the process ends.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/windows_api.h"

constexpr std::uint16_t ModeClosed = 0xD7B0;
constexpr std::uint16_t ModeOutput = 0xD7B2;
constexpr std::uint16_t LineEndCrLf = 0x0001;
constexpr std::uint32_t kStdOutBufferSize = 128;

struct TTextFile;

// An operation on a text file: 0 for success, else a platform error code
// or the runtime's own 105.
using TextFileOperation = std::int32_t (*)(TTextFile& file);

struct TTextFile {
  HANDLE Handle;
  std::uint16_t Mode;
  std::uint16_t Flags;
  std::uint32_t BufferSize;
  std::uint32_t BufferPosition;
  char* BufferPointer;
  TextFileOperation OpenOperation;
  TextFileOperation InOutOperation;
  TextFileOperation FlushOperation;
  TextFileOperation CloseOperation;
  char InlineBuffer[kStdOutBufferSize];
};

// The process's standard output.
extern TTextFile StdOut;

// Sets file to closed, to be opened on standard output by its first write.
void InitializeStdOutFile(TTextFile& file);

// Buffers n bytes, writing out every buffer that fills. Opens the file
// first when it is not open for output; a failed open drops the bytes.
void AppendBytes(TTextFile& file, const char* bytes, std::uint32_t n);

// Appends the line end, then runs the file's flush operation.
void EndLine(TTextFile& file);

// Writes the waiting bytes with one WriteFile. The buffer is emptied
// whether the write succeeds or not.
std::int32_t WriteOut(TTextFile& file);

// Writes what waits in an open file and closes it; the handle stays open.
void CloseTextFile(TTextFile& file);

// The line writer: text, line end, then a check that raises EInOutError
// when an output failure is pending.
void PutLine(std::string_view text);

// Writes what waits in StdOut, on any kind of device. Records a failure in
// PendingIoError and returns its code; 0 when StdOut was never opened.
std::int32_t FlushOutput();
