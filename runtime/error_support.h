// Error support: the kinds of the runtime's own error conditions and the
// error objects made from them. While error support is installed, an
// output failure raises EInOutError.
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

// Raises the error object of kind at address; error support must be
// installed.
[[noreturn]] void RaiseRuntimeError(RuntimeErrorKind kind, const void* address);

// The pre-built object for a lack of memory, so that reporting it needs none.
const Exception& PrebuiltOutOfMemory();

// Installing makes the pre-built objects and the output failure handler
// that raises EInOutError; removing puts back the handler it replaced.
void InstallErrorSupport();
void RemoveErrorSupport();
bool ErrorSupportInstalled();
