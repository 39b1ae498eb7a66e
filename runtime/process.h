// Start-up and the end of the process. The program's units are
// initialized in a fixed order (the core first, then error support, then
// the program's own units) and finalized in the reverse order when the
// process ends.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/windows_api.h"

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

// Records the module handle, installs the top-level error handler,
// initializes the core, error support and then units in order, and runs
// main_block. Ends through EndProcess, or through the top-level error
// handler when an error escapes.
[[noreturn]] void RunProgram(std::initializer_list<ProgramUnit> units, void (*main_block)());

// The normal end with ProcessExitCode: the runtime-error line when one is
// due, the units finalized in reverse order (the core last, which writes
// what waits on standard output), then ExitProcess.
[[noreturn]] void EndProcess();
[[noreturn]] void EndProcessWith(std::int32_t code);

// Makes EndProcess write the runtime-error line for address first.
void SetRuntimeErrorAddress(const void* address);

// Start-up and finalization of the core: standard output closed, and at
// the end its remaining bytes written.
void InitializeCore();
void FinalizeCore();
