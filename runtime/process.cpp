#include "runtime/process.h"

#include <exception>

#include "runtime/error_support.h"
#include "runtime/output_failure.h"
#include "runtime/text_file.h"

bool ConsoleProcess = false;
std::int32_t ProcessExitCode = 0;
HINSTANCE MainInstance = nullptr;

namespace {

constexpr int kMaximumUnits = 8;
ProgramUnit initialized_units[kMaximumUnits];
int initialized_unit_count = 0;

bool runtime_error_due = false;
const void* runtime_error_address = nullptr;

}  // namespace

void InitializeUnit(const ProgramUnit& unit) {
  if (initialized_unit_count == kMaximumUnits) std::terminate();
  // Counted before it runs, so that a unit whose start fails half-way is
  // still finalized.
  initialized_units[initialized_unit_count++] = unit;
  if (unit.Initialize != nullptr) unit.Initialize();
}

void InitializeCore() { InitializeStdOutFile(StdOut); }

void FinalizeCore() { CloseTextFile(StdOut); }

void SetRuntimeErrorAddress(const void* address) {
  runtime_error_due = true;
  runtime_error_address = address;
}

void EndProcess() {
  if (runtime_error_due) {
    runtime_error_due = false;
    WriteRuntimeErrorLine(ProcessExitCode, runtime_error_address);
    runtime_error_address = nullptr;
  }
  // What waits on standard output is written while error support can
  // still report a failure: a report cut short by a full disk or a
  // vanished reader must not end as a success.
  if (ErrorSupportInstalled()) {
    FlushOutput();
    CheckIo();
  }
  // Each unit leaves the list before it is finalized, so that an error
  // raised while finalizing does not finalize it twice.
  while (initialized_unit_count > 0) {
    const ProgramUnit unit = initialized_units[--initialized_unit_count];
    if (unit.Finalize != nullptr) unit.Finalize();
  }
  ExitProcess(static_cast<UINT>(ProcessExitCode));
}

void EndProcessWith(std::int32_t code) {
  ProcessExitCode = code;
  EndProcess();
}

void EndWithRuntimeError(std::int32_t number, const void* address) {
  SetRuntimeErrorAddress(address);
  EndProcessWith(number);
}

void SignalRuntimeError(RuntimeErrorKind kind, const void* address) {
  if (!ErrorSupportInstalled()) EndWithRuntimeError(RuntimeErrorNumber(kind), address);
  RaiseRuntimeError(kind, address);
}

// "Runtime error NNN at XXXXXXXX" and a zero byte: the number ends at
// offset 16 and the address at offset 28 of the template.
void WriteRuntimeErrorLine(std::int32_t number, const void* address) {
  static char line[30] = "Runtime error     at 00000000";
  int position = 16;
  std::uint32_t value = static_cast<std::uint32_t>(number);
  do {
    line[position--] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && position >= 0);
  std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(address);
  position = 28;
  while (bits != 0 && position >= 21) {
    line[position--] = "0123456789ABCDEF"[bits & 0xF];
    bits >>= 4;
  }
  if (StdOut.Mode == ModeOutput && StdOut.BufferPosition > 0) WriteOut(StdOut);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  WriteFile(output, line, sizeof line, &written, nullptr);
  WriteFile(output, "\r\n", 2, &written, nullptr);
}
