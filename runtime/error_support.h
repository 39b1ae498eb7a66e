// Error support: how the runtime's own error conditions become error
// objects, and how the process ends when error support is not installed
// (the runtime-error line on standard output).
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/exception.h"

enum class RuntimeErrorKind : std::int32_t {
  InOutError = 0,
  OutOfMemory = 1,
  InvalidPointer = 2,
  DivByZero = 3,
  RangeError = 4,
  IntOverflow = 5,
  InvalidOp = 6,
  ZeroDivide = 7,
  Overflow = 8,
  Underflow = 9,
  AccessViolation = 11,
  Privilege = 12,
  ControlC = 13,
  StackOverflow = 14,
  External = 22,
};

// The runtime error number of a kind; for InOutError the pending code.
std::int32_t RuntimeErrorNumber(RuntimeErrorKind kind);

// A new error object for a kind that has no pre-built object: kind 0
// takes the pending I/O error, kinds 3 and on carry the kind's message.
std::unique_ptr<Exception> KindToException(RuntimeErrorKind kind);

// Raises the error of kind at address while error support is installed;
// otherwise ends the process with the kind's runtime error number.
[[noreturn]] void SignalRuntimeError(RuntimeErrorKind kind, const void* address);

// Ends the process with the runtime-error line and the number as exit code.
[[noreturn]] void EndWithRuntimeError(std::int32_t number, const void* address);

// The pre-built object for a lack of memory, so that reporting it needs none.
const Exception& PrebuiltOutOfMemory();

void InstallErrorSupport();
void RemoveErrorSupport();
bool ErrorSupportInstalled();

// Writes the runtime-error line for the exit code and address; the first
// step of the end of the process after EndWithRuntimeError.
void WriteRuntimeErrorLine(std::int32_t number, const void* address);
