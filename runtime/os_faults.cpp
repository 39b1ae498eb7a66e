#include "runtime/os_faults.h"

#include <string_view>

#include "runtime/error_classes.h"

namespace {

// The part of a module path after its last separator (or drive colon).
std::string_view ModuleFileName(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\:/");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

RuntimeErrorKind OsFaultKind(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
      return RuntimeErrorKind::AccessViolation;
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return RuntimeErrorKind::RangeError;
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_UNDERFLOW:
      return RuntimeErrorKind::Underflow;
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      return RuntimeErrorKind::ZeroDivide;
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_STACK_CHECK:
      return RuntimeErrorKind::InvalidOp;
    case EXCEPTION_FLT_OVERFLOW:
      return RuntimeErrorKind::Overflow;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return RuntimeErrorKind::DivByZero;
    case EXCEPTION_INT_OVERFLOW:
      return RuntimeErrorKind::IntOverflow;
    case EXCEPTION_PRIV_INSTRUCTION:
      return RuntimeErrorKind::Privilege;
    case EXCEPTION_STACK_OVERFLOW:
      return RuntimeErrorKind::StackOverflow;
    case STATUS_CONTROL_C_EXIT:
      return RuntimeErrorKind::ControlC;
    default:
      return RuntimeErrorKind::External;
  }
}

Text DescribeAccessViolation(const EXCEPTION_RECORD& record) {
  const char* access = record.ExceptionInformation[0] != 0 ? "Write" : "Read";
  const void* target = reinterpret_cast<const void*>(record.ExceptionInformation[1]);
  const void* instruction = record.ExceptionAddress;
  MEMORY_BASIC_INFORMATION region{};
  char path[261];
  if (VirtualQuery(instruction, &region, sizeof region) != 0 && region.State == MEM_COMMIT &&
      GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof path) != 0) {
    return FormatText("Access violation at address %p in module '%s'. %s of address %p",
                      {instruction, ModuleFileName(path), access, target});
  }
  return FormatText("Access violation at address %p. %s of address %p", {instruction, access, target});
}

std::unique_ptr<Exception> OsFaultToException(const EXCEPTION_RECORD& record) {
  const RuntimeErrorKind kind = OsFaultKind(record.ExceptionCode);
  std::unique_ptr<Exception> error;
  if (kind == RuntimeErrorKind::AccessViolation) {
    error = std::make_unique<EAccessViolation>(DescribeAccessViolation(record));
  } else if (kind == RuntimeErrorKind::External) {
    error = std::make_unique<EExternalException>(FormatText("External exception %x", {record.ExceptionCode}));
  } else {
    error = KindToException(kind);
  }
  if (auto* external = dynamic_cast<EExternal*>(error.get())) external->OsRecord = record;
  return error;
}
