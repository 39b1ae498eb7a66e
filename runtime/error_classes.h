// The error classes that the runtime makes from its own error conditions
// and from processor and operating-system faults.
#pragma once

#include "platform/windows_api.h"
#include "runtime/exception.h"

class EHeapException : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EHeapException"; }
  [[noreturn]] void ThrowSelf() const override { throw *this; }

  // False for the objects that error support makes in advance and owns.
  bool MayFree = true;
};
KESTROVA_ERROR_CLASS(EOutOfMemory, EHeapException);
KESTROVA_ERROR_CLASS(EInvalidPointer, EHeapException);

// Errors that come from a platform fault.
class EExternal : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EExternal"; }
  [[noreturn]] void ThrowSelf() const override { throw *this; }

  // The platform's record of the fault.
  EXCEPTION_RECORD OsRecord{};
};
KESTROVA_ERROR_CLASS(EExternalException, EExternal);
KESTROVA_ERROR_CLASS(EIntError, EExternal);
KESTROVA_ERROR_CLASS(EDivByZero, EIntError);
KESTROVA_ERROR_CLASS(ERangeError, EIntError);
KESTROVA_ERROR_CLASS(EIntOverflow, EIntError);
KESTROVA_ERROR_CLASS(EMathError, EExternal);
KESTROVA_ERROR_CLASS(EInvalidOp, EMathError);
KESTROVA_ERROR_CLASS(EZeroDivide, EMathError);
KESTROVA_ERROR_CLASS(EOverflow, EMathError);
KESTROVA_ERROR_CLASS(EUnderflow, EMathError);
KESTROVA_ERROR_CLASS(EAccessViolation, EExternal);
KESTROVA_ERROR_CLASS(EPrivilege, EExternal);
KESTROVA_ERROR_CLASS(EStackOverflow, EExternal);
KESTROVA_ERROR_CLASS(EControlC, EExternal);
