#include "runtime/process.h"

#include <exception>

#include "runtime/error_report.h"
#include "runtime/error_support.h"
#include "runtime/io_error.h"
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

void InitializeUnit(const ProgramUnit& unit) {
  if (initialized_unit_count == kMaximumUnits) std::terminate();
  // Counted before it runs, so that a unit whose start fails half-way is
  // still finalized.
  initialized_units[initialized_unit_count++] = unit;
  if (unit.Initialize != nullptr) unit.Initialize();
}

}  // namespace

void InitializeCore() { InitializeStdOutFile(StdOut); }

void FinalizeCore() { CloseTextFile(StdOut); }

void RunProgram(std::initializer_list<ProgramUnit> units, void (*main_block)()) {
  MainInstance = GetModuleHandleA(nullptr);
  InstallTopLevelErrorHandler();
  try {
    InitializeUnit({InitializeCore, FinalizeCore});
    InitializeUnit({InstallErrorSupport, RemoveErrorSupport});
    for (const ProgramUnit& unit : units) InitializeUnit(unit);
    main_block();
    EndProcess();
  } catch (...) {
    TopLevelErrorHandler(std::current_exception());
  }
}

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
  RemoveTopLevelErrorHandler();
  ExitProcess(static_cast<UINT>(ProcessExitCode));
}

void EndProcessWith(std::int32_t code) {
  ProcessExitCode = code;
  EndProcess();
}
