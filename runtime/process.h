// The end of the process. The program's units are initialized in a fixed
// order (the core first, then error support, then the program's own
// units; see program.h) and finalized in the reverse order when the
// process ends. Before error support starts and after it ends, a runtime
// error ends the process with the runtime-error line on standard output.
#pragma once

#include <cstdint>

#include "platform/windows_api.h"
#include "runtime/error_support.h"

// Set by the program's entry before anything else: failure reports go to
// the standard handles.
extern bool ConsoleProcess;

// The exit code of a normal end; 1 after a failure report, the runtime
// error number on the fallback path.
extern std::int32_t ProcessExitCode;

// The program's own module, recorded at start-up.
extern HINSTANCE MainInstance;

struct ProgramUnit {
  void (*Initialize)();
  void (*Finalize)();
};

// Adds unit to the units that the end of the process finalizes, then
// initializes it. A unit whose start fails half-way is still finalized.
void InitializeUnit(const ProgramUnit& unit);

// The normal end with ProcessExitCode: the runtime-error line when one is
// due, the units finalized in reverse order (the core last, which writes
// what waits on standard output), then ExitProcess.
[[noreturn]] void EndProcess();
[[noreturn]] void EndProcessWith(std::int32_t code);

// Makes EndProcess write the runtime-error line for address first.
void SetRuntimeErrorAddress(const void* address);

// Ends the process with the runtime-error line and the number as exit code.
[[noreturn]] void EndWithRuntimeError(std::int32_t number, const void* address);

// Raises the error of kind at address while error support is installed;
// otherwise ends the process with the kind's runtime error number.
[[noreturn]] void SignalRuntimeError(RuntimeErrorKind kind, const void* address);

// Writes the runtime-error line for the exit code and address; the first
// step of the end of the process after EndWithRuntimeError.
void WriteRuntimeErrorLine(std::int32_t number, const void* address);

// Start-up and finalization of the core: standard output closed, and at
// the end its remaining bytes written.
void InitializeCore();
void FinalizeCore();
