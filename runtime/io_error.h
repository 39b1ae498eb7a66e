// Output failures: the pending error code, the error class that carries
// it, and the check that turns a pending failure into that error.
#pragma once

#include <cstdint>

#include "runtime/exception.h"

// The code of the last failed text-file operation, 0 when none failed.
// Only MakeIoError clears it.
extern thread_local std::int32_t PendingIoError;

// The runtime's own code for a file that is not open for output.
constexpr std::int32_t kFileNotOpenForOutput = 105;

class EInOutError : public Exception {
 public:
  EInOutError(Text message, std::int32_t code) : Exception(std::move(message)), IoCode(code) {}
  const char* ClassName() const override { return "EInOutError"; }
  [[noreturn]] void ThrowSelf() const override { throw *this; }

  std::int32_t IoCode;
};

// The message for an I/O error code.
Text IoErrorMessage(std::int32_t code);

// A new EInOutError for the pending code; clears the pending code.
EInOutError MakeIoError();

// Raises the pending output failure, if any, as an EInOutError at the
// location of this check in the caller.
KESTROVA_NOINLINE void CheckIo();
