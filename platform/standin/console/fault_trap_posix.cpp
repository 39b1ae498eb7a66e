// Processor faults as POSIX signals. The handler runs on an alternate
// stack (so that a stack overflow can be handled), describes the fault as
// Windows does, and lets the fault handler raise its error object from the
// signal frame; the program is built with -fnon-call-exceptions, so the
// unwinder continues through the signal frame into the faulting code.
#include "platform/fault_trap.h"

#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kTrappedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr DWORD kDatatypeMisalignment = 0x80000002;

FaultHandler installed_handler = nullptr;
struct sigaction previous_actions[sizeof kTrappedSignals / sizeof kTrappedSignals[0]];
void* alternate_stack = nullptr;

// The lowest address of this thread's stack, to tell an overflow from
// other bad accesses.
std::uintptr_t stack_lowest = 0;
std::uintptr_t stack_guard_size = 0;

void NoteStackBounds() {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
  void* lowest = nullptr;
  std::size_t size = 0;
  std::size_t guard = 0;
  if (pthread_attr_getstack(&attributes, &lowest, &size) == 0) stack_lowest = reinterpret_cast<std::uintptr_t>(lowest);
  pthread_attr_getguardsize(&attributes, &guard);
  stack_guard_size = guard == 0 ? static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)) : guard;
  pthread_attr_destroy(&attributes);
}

struct FaultPlace {
  void* instruction = nullptr;
  bool write = false;
  bool execute = false;
};

FaultPlace PlaceOf(const void* context, const siginfo_t* info) {
  FaultPlace place;
  const auto* user_context = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  place.instruction = reinterpret_cast<void*>(user_context->uc_mcontext.gregs[REG_RIP]);
  const auto error_code = static_cast<std::uint64_t>(user_context->uc_mcontext.gregs[REG_ERR]);
  place.write = (error_code & 0x2) != 0;
  place.execute = (error_code & 0x10) != 0;
#elif defined(__i386__)
  place.instruction = reinterpret_cast<void*>(user_context->uc_mcontext.gregs[REG_EIP]);
  const auto error_code = static_cast<std::uint32_t>(user_context->uc_mcontext.gregs[REG_ERR]);
  place.write = (error_code & 0x2) != 0;
  place.execute = (error_code & 0x10) != 0;
#elif defined(__aarch64__)
  place.instruction = reinterpret_cast<void*>(user_context->uc_mcontext.pc);
#else
  (void)user_context;
  place.instruction = info->si_addr;
#endif
  (void)info;
  return place;
}

bool IsStackOverflow(const siginfo_t* info) {
  if (stack_lowest == 0) return false;
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  return address < stack_lowest + stack_guard_size && address + stack_guard_size * 16 >= stack_lowest;
}

// The Windows exception code for a signal.
DWORD CodeOf(int signal_number, const siginfo_t* info) {
  switch (signal_number) {
    case SIGSEGV:
      return IsStackOverflow(info) ? EXCEPTION_STACK_OVERFLOW : EXCEPTION_ACCESS_VIOLATION;
    case SIGBUS:
      return info->si_code == BUS_ADRALN ? kDatatypeMisalignment : EXCEPTION_IN_PAGE_ERROR;
    case SIGFPE:
      switch (info->si_code) {
        case FPE_INTDIV:
          return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF:
          return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV:
          return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF:
          return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND:
          return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES:
          return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTSUB:
          return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default:
          return EXCEPTION_FLT_INVALID_OPERATION;
      }
    case SIGILL:
      return info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION
                                                                        : EXCEPTION_ILLEGAL_INSTRUCTION;
    default:
      return EXCEPTION_ILLEGAL_INSTRUCTION;
  }
}

void OnSignal(int signal_number, siginfo_t* info, void* context) {
  const FaultPlace place = PlaceOf(context, info);
  EXCEPTION_RECORD record{};
  record.ExceptionCode = CodeOf(signal_number, info);
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  record.ExceptionAddress = place.instruction;
  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION || record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) {
    // The kind of access (0 read, 1 write, 8 execute) and its address.
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = place.execute ? 8 : (place.write ? 1 : 0);
    record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(info->si_addr);
  }
  if (installed_handler == nullptr) {
    // Nobody to tell: end as the host would have.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    _exit(128 + signal_number);
  }
  installed_handler(record);
}

}  // namespace

void InstallFaultTrap(FaultHandler handler) {
  installed_handler = handler;
  NoteStackBounds();
  if (alternate_stack == nullptr) {
    const std::size_t size = 64 * 1024;
    alternate_stack = std::malloc(size);
    if (alternate_stack != nullptr) {
      stack_t stack{};
      stack.ss_sp = alternate_stack;
      stack.ss_size = size;
      sigaltstack(&stack, nullptr);
    }
  }
  // A known hazard, kept on purpose: the handler is not async-signal-safe.
  // The fault handler makes its error object on the heap and throws it out
  // of the signal frame, so a fault inside the allocator (or anywhere that
  // holds a lock that allocating or unwinding takes) can deadlock instead
  // of being reported. Faults in the program's own code, which are what
  // the report is for, do not hold such locks.
  struct sigaction action {};
  action.sa_sigaction = OnSignal;
  // SA_NODEFER: the handler leaves by raising, never by returning, so the
  // signal must not stay blocked behind it.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < sizeof kTrappedSignals / sizeof kTrappedSignals[0]; ++i) {
    sigaction(kTrappedSignals[i], &action, &previous_actions[i]);
  }
}

void RemoveFaultTrap() {
  if (installed_handler == nullptr) return;
  for (std::size_t i = 0; i < sizeof kTrappedSignals / sizeof kTrappedSignals[0]; ++i) {
    sigaction(kTrappedSignals[i], &previous_actions[i], nullptr);
  }
  installed_handler = nullptr;
}
