// Output failures as the output level sees them: the code of the last
// failed operation on standard output, and the check that hands a pending
// failure on. What a failure becomes (an EInOutError while error support
// is installed, the end of the process otherwise) is decided above this
// level, by the handler that the level above installs.
#pragma once

#include <cstdint>

#include "runtime/exception.h"

// The code of the last failed text-file operation, 0 when none failed.
// Only MakeIoError clears it.
extern thread_local std::int32_t PendingIoError;

// The runtime's own code for a file that is not open for output.
constexpr std::int32_t kFileNotOpenForOutput = 105;

// Receives a pending failure at the code address of the check that found
// it. It does not return: it raises an error or ends the process.
using OutputFailureHandler = void (*)(const void* address);

// Installs handler and answers the one it replaces (null at start, when a
// pending failure simply stays pending).
OutputFailureHandler SetOutputFailureHandler(OutputFailureHandler handler);

// Hands the pending output failure, if any, to the installed handler,
// with the location of this check in the caller.
KESTROVA_NOINLINE void CheckIo();
