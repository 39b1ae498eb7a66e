// Processor faults through vectored exception handling. The handler does
// not raise from inside the system's exception dispatch (the unwinder
// would have to pass the dispatcher's frames); it makes the faulting
// thread continue as if the faulting instruction had called
// RaisePendingFault, so that the raise unwinds from the faulting frame
// like any other.
//
// On x86 the unwinder reads DWARF call-frame information, which finds the
// faulting frame from the stack pointer just above a pushed return
// address. On x86-64 it reads the SEH unwind tables, which describe a
// frame by the stack pointer it had at the faulting instruction, while a
// call needs the stack 16-byte aligned and 32 bytes of home space above
// the return address, which would lie over the faulting frame's own data.
// So the thread continues, well below the faulting frame's stack pointer,
// in a trampoline whose unwind information is a machine frame: the
// unwinder takes the faulting instruction and stack pointer back from it.
// That raise passes through the system's exception dispatch, which needs
// more stack after an overflow than Wine leaves by itself; a guard page of
// this file's own gives it room.
#include "platform/fault_trap.h"

namespace {

FaultHandler installed_handler = nullptr;
PVOID vectored_handler = nullptr;
EXCEPTION_RECORD pending_fault;

// The stack kept free for handling a stack overflow.
constexpr ULONG kStackGuarantee = 64 * 1024;

#if defined(__x86_64__)
// Called from the trampoline below, by this name.
[[noreturn, gnu::used]] void RaisePendingFault() __asm__("kestrova_raise_pending_fault");
#endif

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

#if defined(__x86_64__)

}  // namespace

// The trampoline: its unwind information is a machine frame (the frame an
// interrupt pushes: RIP, CS, RFLAGS, RSP, SS), then the 32 bytes of home
// space that every x64 call owes its callee. Entered with the stack
// pointer on a 16-byte aligned machine frame, it calls
// RaisePendingFault with the stack aligned as the x64 calling convention
// requires.
extern "C" void kestrova_fault_trampoline();
__asm__(
    ".text\n"
    ".p2align 4\n"
    ".def kestrova_fault_trampoline; .scl 3; .type 32; .endef\n"
    ".seh_proc kestrova_fault_trampoline\n"
    "kestrova_fault_trampoline:\n"
    ".seh_pushframe\n"
    "  subq $32, %rsp\n"
    ".seh_stackalloc 32\n"
    ".seh_endprologue\n"
    "  call kestrova_raise_pending_fault\n"
    "  ud2\n"
    ".seh_endproc\n");

namespace {

struct MachineFrame {
  DWORD64 Rip;
  DWORD64 SegCs;
  DWORD64 EFlags;
  DWORD64 Rsp;
  DWORD64 SegSs;
};

// Left untouched below the faulting frame's stack pointer: the x64
// convention keeps nothing there, but code outside it (hand-written leaf
// functions, code built for a red zone) may.
constexpr DWORD64 kRoomBelowFaultingFrame = 128;

// The start of a function's unwind information: version and flags, then
// the size of its prologue.
struct UnwindInfoStart {
  BYTE VersionAndFlags;
  BYTE SizeOfProlog;
};

// The instruction address the unwinder is given for the faulting frame.
// Like a return address it lies one byte past the faulting instruction's
// start, so that the exception tables are searched for the faulting
// instruction itself (they look one byte before the address they get).
// In a prologue the unwinder counts the instructions done by the address,
// so there the faulting instruction's own address is kept.
DWORD64 UnwindAddressOf(DWORD64 faulting_instruction) {
  DWORD64 image_base = 0;
  const RUNTIME_FUNCTION* function = RtlLookupFunctionEntry(faulting_instruction, &image_base, nullptr);
  if (function != nullptr) {
    const auto* unwind_info = reinterpret_cast<const UnwindInfoStart*>(image_base + function->UnwindData);
    if (faulting_instruction - (image_base + function->BeginAddress) < unwind_info->SizeOfProlog) {
      return faulting_instruction;
    }
  }
  return faulting_instruction + 1;
}

// The x64 raise passes through the system's exception dispatch, which
// needs more stack than the one page that Wine leaves below a stack
// overflow: Wine commits a thread's whole stack with a single guard page at
// its end, and keeps the stack guarantee only when a guard page higher up
// is reached. A guard page of our own, the guarantee above the stack's end,
// makes the overflow come with that room. Where the stack grows page by
// page (Windows), that page is not committed yet and the system keeps the
// guarantee by itself.
BYTE* stack_guard_page = nullptr;
DWORD page_size = 0;

void GuardStackAboveGuarantee() {
  MEMORY_BASIC_INFORMATION stack{};
  if (VirtualQuery(&stack, &stack, sizeof stack) == 0) return;
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  page_size = system.dwPageSize;
  BYTE* guard = static_cast<BYTE*>(stack.AllocationBase) + 2 * page_size + kStackGuarantee;
  MEMORY_BASIC_INFORMATION page{};
  if (guard + page_size >= reinterpret_cast<BYTE*>(&stack) || VirtualQuery(guard, &page, sizeof page) == 0 ||
      page.State != MEM_COMMIT || page.Protect != PAGE_READWRITE) {
    return;
  }
  DWORD previous = 0;
  if (VirtualProtect(guard, page_size, PAGE_READWRITE | PAGE_GUARD, &previous)) stack_guard_page = guard;
}

// A touch of that guard page, where the system reports it as such rather
// than as a stack overflow.
bool IsStackGuardTouch(const EXCEPTION_RECORD& record) {
  if (record.ExceptionCode != STATUS_GUARD_PAGE_VIOLATION || stack_guard_page == nullptr ||
      record.NumberParameters < 2) {
    return false;
  }
  const auto* address = reinterpret_cast<const BYTE*>(record.ExceptionInformation[1]);
  return address >= stack_guard_page && address < stack_guard_page + page_size;
}

void ContinueInRaise(CONTEXT& context) {
  const DWORD64 frame_address =
      (context.Rsp - kRoomBelowFaultingFrame - sizeof(MachineFrame)) & ~static_cast<DWORD64>(15);
  auto* frame = reinterpret_cast<MachineFrame*>(frame_address);
  frame->Rip = UnwindAddressOf(context.Rip);
  frame->SegCs = context.SegCs;
  frame->EFlags = context.EFlags;
  frame->Rsp = context.Rsp;
  frame->SegSs = context.SegSs;
  context.Rsp = frame_address;
  context.Rip = reinterpret_cast<DWORD64>(&kestrova_fault_trampoline);
}

#else

// The 32-bit raise unwinds within the program, for which the page that a
// stack overflow leaves is enough.
void GuardStackAboveGuarantee() {}
bool IsStackGuardTouch(const EXCEPTION_RECORD&) { return false; }

void ContinueInRaise(CONTEXT& context) {
  // The pushed return address lies one byte past the faulting
  // instruction's start, so that the unwinder looks up the faulting
  // instruction itself.
  context.Esp -= sizeof(DWORD);
  *reinterpret_cast<DWORD*>(context.Esp) = context.Eip + 1;
  context.Eip = reinterpret_cast<DWORD>(&RaisePendingFault);
}

#endif

LONG CALLBACK OnVectoredException(PEXCEPTION_POINTERS pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (installed_handler == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  const bool stack_guard_touch = IsStackGuardTouch(record);
  if (!stack_guard_touch && !IsProcessorFault(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  pending_fault = record;
  pending_fault.ExceptionRecord = nullptr;
  if (stack_guard_touch) pending_fault.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
  ContinueInRaise(*pointers->ContextRecord);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void InstallFaultTrap(FaultHandler handler) {
  installed_handler = handler;
  ULONG guarantee = kStackGuarantee;
  SetThreadStackGuarantee(&guarantee);
  GuardStackAboveGuarantee();
  if (vectored_handler == nullptr) vectored_handler = AddVectoredExceptionHandler(1, OnVectoredException);
}

void RemoveFaultTrap() {
  if (vectored_handler != nullptr) RemoveVectoredExceptionHandler(vectored_handler);
  vectored_handler = nullptr;
  installed_handler = nullptr;
}
