#include "runtime/error_support.h"

#include <optional>

#include "runtime/error_classes.h"
#include "runtime/io_error.h"

namespace {

bool installed = false;
std::optional<EOutOfMemory> out_of_memory;
std::optional<EInvalidPointer> invalid_pointer;
OutputFailureHandler replaced_handler = nullptr;

struct KindFacts {
  RuntimeErrorKind kind;
  std::int32_t number;
  const char* message;
};

constexpr KindFacts kKinds[] = {
    {RuntimeErrorKind::OutOfMemory, 203, "Out of memory"},
    {RuntimeErrorKind::InvalidPointer, 204, "Invalid pointer operation"},
    {RuntimeErrorKind::DivByZero, 200, "Division by zero"},
    {RuntimeErrorKind::RangeError, 201, "Range check error"},
    {RuntimeErrorKind::IntOverflow, 215, "Integer overflow"},
    {RuntimeErrorKind::InvalidOp, 207, "Invalid floating point operation"},
    {RuntimeErrorKind::ZeroDivide, 200, "Floating point division by zero"},
    {RuntimeErrorKind::Overflow, 205, "Floating point overflow"},
    {RuntimeErrorKind::Underflow, 206, "Floating point underflow"},
    {RuntimeErrorKind::AccessViolation, 216, "Access violation"},
    {RuntimeErrorKind::Privilege, 218, "Privileged instruction"},
    {RuntimeErrorKind::ControlC, 217, "Control-C hit"},
    {RuntimeErrorKind::StackOverflow, 202, "Stack overflow"},
    {RuntimeErrorKind::External, 255, "External exception %x"},
};

const KindFacts* FactsOf(RuntimeErrorKind kind) {
  for (const KindFacts& facts : kKinds) {
    if (facts.kind == kind) return &facts;
  }
  return nullptr;
}

template <class Error>
std::unique_ptr<Exception> Make(const char* message) {
  return std::make_unique<Error>(Text(message));
}

// The pending output failure as an EInOutError raised at the check.
void RaiseOutputFailure(const void* address) { RaiseRuntimeError(RuntimeErrorKind::InOutError, address); }

}  // namespace

std::int32_t RuntimeErrorNumber(RuntimeErrorKind kind) {
  if (kind == RuntimeErrorKind::InOutError) return PendingIoError;
  const KindFacts* facts = FactsOf(kind);
  return facts == nullptr ? 255 : facts->number;
}

std::unique_ptr<Exception> KindToException(RuntimeErrorKind kind) {
  const KindFacts* facts = FactsOf(kind);
  const char* message = facts == nullptr ? "" : facts->message;
  switch (kind) {
    case RuntimeErrorKind::InOutError:
      return std::make_unique<EInOutError>(MakeIoError());
    case RuntimeErrorKind::OutOfMemory:
      return std::make_unique<EOutOfMemory>(*out_of_memory);
    case RuntimeErrorKind::InvalidPointer:
      return std::make_unique<EInvalidPointer>(*invalid_pointer);
    case RuntimeErrorKind::DivByZero:
      return Make<EDivByZero>(message);
    case RuntimeErrorKind::RangeError:
      return Make<ERangeError>(message);
    case RuntimeErrorKind::IntOverflow:
      return Make<EIntOverflow>(message);
    case RuntimeErrorKind::InvalidOp:
      return Make<EInvalidOp>(message);
    case RuntimeErrorKind::ZeroDivide:
      return Make<EZeroDivide>(message);
    case RuntimeErrorKind::Overflow:
      return Make<EOverflow>(message);
    case RuntimeErrorKind::Underflow:
      return Make<EUnderflow>(message);
    case RuntimeErrorKind::AccessViolation:
      return Make<EAccessViolation>(message);
    case RuntimeErrorKind::Privilege:
      return Make<EPrivilege>(message);
    case RuntimeErrorKind::ControlC:
      return Make<EControlC>(message);
    case RuntimeErrorKind::StackOverflow:
      return Make<EStackOverflow>(message);
    case RuntimeErrorKind::External:
      return Make<EExternalException>(message);
  }
  return Make<Exception>(message);
}

void RaiseRuntimeError(RuntimeErrorKind kind, const void* address) {
  // The pre-built objects are raised as they are: no memory is needed.
  if (kind == RuntimeErrorKind::OutOfMemory) RaiseAt(*out_of_memory, address);
  if (kind == RuntimeErrorKind::InvalidPointer) RaiseAt(*invalid_pointer, address);
  std::unique_ptr<Exception> error = KindToException(kind);
  RaiseAt(*error, address);
}

const Exception& PrebuiltOutOfMemory() { return *out_of_memory; }

void InstallErrorSupport() {
  out_of_memory.emplace(Text("Out of memory"));
  out_of_memory->MayFree = false;
  invalid_pointer.emplace(Text("Invalid pointer operation"));
  invalid_pointer->MayFree = false;
  if (!installed) replaced_handler = SetOutputFailureHandler(RaiseOutputFailure);
  installed = true;
}

void RemoveErrorSupport() {
  if (installed) SetOutputFailureHandler(replaced_handler);
  installed = false;
  out_of_memory.reset();
  invalid_pointer.reset();
}

bool ErrorSupportInstalled() { return installed; }
