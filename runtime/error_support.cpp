#include "runtime/error_support.h"

#include <optional>

#include "runtime/error_classes.h"
#include "runtime/io_error.h"
#include "runtime/process.h"
#include "runtime/text_file.h"

namespace {

bool installed = false;
std::optional<EOutOfMemory> out_of_memory;
std::optional<EInvalidPointer> invalid_pointer;

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

void SignalRuntimeError(RuntimeErrorKind kind, const void* address) {
  if (!installed) EndWithRuntimeError(RuntimeErrorNumber(kind), address);
  // The pre-built objects are raised as they are: no memory is needed.
  if (kind == RuntimeErrorKind::OutOfMemory) RaiseAt(*out_of_memory, address);
  if (kind == RuntimeErrorKind::InvalidPointer) RaiseAt(*invalid_pointer, address);
  std::unique_ptr<Exception> error = KindToException(kind);
  RaiseAt(*error, address);
}

void EndWithRuntimeError(std::int32_t number, const void* address) {
  SetRuntimeErrorAddress(address);
  EndProcessWith(number);
}

const Exception& PrebuiltOutOfMemory() { return *out_of_memory; }

void InstallErrorSupport() {
  out_of_memory.emplace(Text("Out of memory"));
  out_of_memory->MayFree = false;
  invalid_pointer.emplace(Text("Invalid pointer operation"));
  invalid_pointer->MayFree = false;
  installed = true;
}

void RemoveErrorSupport() {
  installed = false;
  out_of_memory.reset();
  invalid_pointer.reset();
}

bool ErrorSupportInstalled() { return installed; }

// "Runtime error NNN at XXXXXXXX" and a zero byte: the number ends at
// offset 16 and the address at offset 28 of the template.
void WriteRuntimeErrorLine(std::int32_t number, const void* address) {
  static char line[30] = "Runtime error     at 00000000";
  int position = 16;
  std::uint32_t value = static_cast<std::uint32_t>(number);
  do {
    line[position--] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && position >= 0);
  std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(address);
  position = 28;
  while (bits != 0 && position >= 21) {
    line[position--] = "0123456789ABCDEF"[bits & 0xF];
    bits >>= 4;
  }
  if (StdOut.Mode == ModeOutput && StdOut.BufferPosition > 0) WriteOut(StdOut);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  WriteFile(output, line, sizeof line, &written, nullptr);
  WriteFile(output, "\r\n", 2, &written, nullptr);
}
