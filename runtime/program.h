// The program's run: start-up, the main block, and the end of every error
// that nothing handles. The top of the runtime: it installs what the
// levels below hand failures to.
#pragma once

#include <initializer_list>

#include "runtime/process.h"

// Records the module handle; installs the top-level error handler and the
// end of the process for output failures; initializes the core, error
// support and then units in order, and runs main_block. Ends through
// EndProcess, or through the top-level error handler when an error
// escapes.
[[noreturn]] void RunProgram(std::initializer_list<ProgramUnit> units, void (*main_block)());
