// The error class of output failures and its message.
#pragma once

#include <cstdint>

#include "runtime/exception.h"
#include "runtime/output_failure.h"

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
