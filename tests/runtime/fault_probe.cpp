// A test-only program that fails in every way the runtime reports: each
// runtime error kind, each processor fault, errors before error support
// starts and after it ends. The mode is its first argument.
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/windows_api.h"
#include "runtime/command_line.h"
#include "runtime/error_report.h"
#include "runtime/error_support.h"
#include "runtime/output_failure.h"
#include "runtime/process.h"
#include "runtime/program.h"
#include "runtime/text_file.h"
#include "tests/runtime/fault_probe_host.h"

namespace {

volatile int zero = 0;
void* volatile no_address = nullptr;
volatile bool keep_going = true;

KESTROVA_NOINLINE void WriteThroughNull() {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("movl $1, (%0)" : : "r"(no_address) : "memory");
#else
  *static_cast<volatile int*>(no_address) = 1;
#endif
}

KESTROVA_NOINLINE int ReadThroughNull() {
  int value = 0;
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("movl (%1), %0" : "=r"(value) : "r"(no_address) : "memory");
#else
  value = *static_cast<volatile int*>(no_address);
#endif
  return value;
}

KESTROVA_NOINLINE int DivideByZero() {
  int quotient = 1;
#if defined(__x86_64__) || defined(__i386__)
  int divisor = zero;
  asm volatile("cltd\n\tidivl %1" : "+a"(quotient) : "r"(divisor) : "edx");
#endif
  return quotient;
}

KESTROVA_NOINLINE void IllegalInstruction() {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("ud2");
#endif
}

KESTROVA_NOINLINE int Recurse(int depth) {
  volatile char pad[1024];
  pad[0] = static_cast<char>(depth);
  if (!keep_going) return pad[0];
  return Recurse(depth + 1) + pad[0];
}

KESTROVA_NOINLINE double DivideFloatByZero() {
  UnmaskFloatDivisionByZero();
  volatile double divisor = 0.0;
  volatile double quotient = 1.0 / divisor;
  return quotient;
}

// Holds a resource whose release must come before the report.
struct ReleasedBeforeReport {
  ~ReleasedBeforeReport() {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "released\n", 9, &written, nullptr);
  }
};

// A processor fault in a frame that holds a resource, called from another
// that holds one: both are released, innermost first, before the report.
KESTROVA_NOINLINE void WriteThroughNullHolding() {
  ReleasedBeforeReport resource;
  *static_cast<volatile int*>(no_address) = 1;
}

KESTROVA_NOINLINE void SignalKind(int kind) {
  SignalRuntimeError(static_cast<RuntimeErrorKind>(kind), KESTROVA_RETURN_ADDRESS());
}

void MainBlock() {
  const Text mode = ArgumentAt(1);
  const Text detail = ArgumentAt(2);
  if (mode == "kind") {
    const int kind = std::atoi(detail.c_str());
    if (kind == 0) PendingIoError = 5;
    SignalKind(kind);
  } else if (mode == "write-null") {
    WriteThroughNull();
  } else if (mode == "write-null-holding") {
    ReleasedBeforeReport resource;
    WriteThroughNullHolding();
  } else if (mode == "read-null") {
    ReadThroughNull();
  } else if (mode == "divide") {
    DivideByZero();
  } else if (mode == "illegal") {
    IllegalInstruction();
  } else if (mode == "stack") {
    Recurse(0);
  } else if (mode == "bus") {
    ReadPastTheEndOfAMappedFile();
  } else if (mode == "float-divide") {
    DivideFloatByZero();
  } else if (mode == "message") {
    Raise(Exception(detail));
  } else if (mode == "print-then-raise") {
    ReleasedBeforeReport resource;
    PutLine("first line");
    PutLine("second line");
    Raise(Exception(detail));
  } else if (mode == "echo-and-raise") {
    PutLine(detail);
    Raise(Exception(detail));
  } else if (mode == "foreign") {
    throw std::runtime_error("not of the Exception tree");
  } else if (mode == "print") {
    for (int line = 0; line < std::atoi(detail.c_str()); ++line) PutLine("a line of the report");
  }
  EndProcess();
}

}  // namespace

int main() {
  ConsoleProcess = true;
  const Text mode = ArgumentAt(1);
  if (mode == "before-kind") {
    // Error support has not started: the runtime-error line, and the
    // kind's number as exit code.
    PendingIoError = 103;
    SignalKind(std::atoi(ArgumentAt(2).c_str()));
  }
  if (mode == "after-kind") {
    InstallErrorSupport();
    RemoveErrorSupport();
    SignalKind(std::atoi(ArgumentAt(2).c_str()));
  }
  if (mode == "before-raise") {
    try {
      Raise(Exception("raised before start-up"));
    } catch (...) {
      TopLevelErrorHandler(std::current_exception());
    }
  }
  RunProgram({}, MainBlock);
}
