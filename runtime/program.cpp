#include "runtime/program.h"

#include <exception>

#include "runtime/error_report.h"
#include "runtime/error_support.h"
#include "runtime/output_failure.h"

namespace {

// An output failure while error support is not installed ends the process
// with the pending code as its runtime error number.
void EndOnOutputFailure(const void* address) { SignalRuntimeError(RuntimeErrorKind::InOutError, address); }

}  // namespace

void RunProgram(std::initializer_list<ProgramUnit> units, void (*main_block)()) {
  MainInstance = GetModuleHandleA(nullptr);
  SetOutputFailureHandler(EndOnOutputFailure);
  try {
    // The first unit, so that the last thing the end of the process does
    // before leaving is to remove the handler.
    InitializeUnit({InstallTopLevelErrorHandler, RemoveTopLevelErrorHandler});
    InitializeUnit({InitializeCore, FinalizeCore});
    InitializeUnit({InstallErrorSupport, RemoveErrorSupport});
    for (const ProgramUnit& unit : units) InitializeUnit(unit);
    main_block();
    EndProcess();
  } catch (...) {
    TopLevelErrorHandler(std::current_exception());
  }
}
