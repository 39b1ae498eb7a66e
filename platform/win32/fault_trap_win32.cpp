// Processor faults through vectored exception handling. The handler does
// not raise from inside the system's exception dispatch (the DWARF
// unwinder cannot pass its frames); it makes the faulting thread continue
// as if the faulting instruction had called RaisePendingFault, so that the
// raise unwinds from the faulting frame like any other.
#include "platform/fault_trap.h"

namespace {

FaultHandler installed_handler = nullptr;
PVOID vectored_handler = nullptr;
EXCEPTION_RECORD pending_fault;

// The stack kept free for handling a stack overflow.
constexpr ULONG kStackGuarantee = 64 * 1024;

[[noreturn]] void RaisePendingFault() {
  installed_handler(pending_fault);
  __builtin_unreachable();
}

// Processor faults only: codes that programs and the system raise on
// purpose (debug output, C++ runtimes, thread names) pass by.
bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:
      return false;
  }
}

LONG CALLBACK OnVectoredException(PEXCEPTION_POINTERS pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (installed_handler == nullptr || !IsProcessorFault(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  pending_fault = record;
  pending_fault.ExceptionRecord = nullptr;
  CONTEXT& context = *pointers->ContextRecord;
  // The pushed return address lies one byte past the faulting
  // instruction's start, so that the unwinder looks up the faulting
  // instruction itself.
  context.Esp -= sizeof(DWORD);
  *reinterpret_cast<DWORD*>(context.Esp) = context.Eip + 1;
  context.Eip = reinterpret_cast<DWORD>(&RaisePendingFault);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void InstallFaultTrap(FaultHandler handler) {
  installed_handler = handler;
  ULONG guarantee = kStackGuarantee;
  SetThreadStackGuarantee(&guarantee);
  if (vectored_handler == nullptr) vectored_handler = AddVectoredExceptionHandler(1, OnVectoredException);
}

void RemoveFaultTrap() {
  if (vectored_handler != nullptr) RemoveVectoredExceptionHandler(vectored_handler);
  vectored_handler = nullptr;
  installed_handler = nullptr;
}
