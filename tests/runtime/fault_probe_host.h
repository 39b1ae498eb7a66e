// What the fault probe needs of its host beyond the Windows operations:
// unmasking the floating-point division trap, and a read that faults
// with a bus error where the host has one.
#pragma once

#include "runtime/exception.h"

#if defined(_WIN32)
// The x87 unit does the 32-bit program's floating-point arithmetic, SSE
// the 64-bit program's: clear the zero-divide mask bit of the one in use.
inline void UnmaskFloatDivisionByZero() {
#if defined(__x86_64__)
  unsigned int control = 0;
  asm volatile("stmxcsr %0" : "=m"(control));
  control &= ~0x0200u;
  asm volatile("ldmxcsr %0" : : "m"(control));
#else
  unsigned short control = 0;
  asm volatile("fnstcw %0" : "=m"(control));
  control = static_cast<unsigned short>(control & ~0x0004);
  asm volatile("fldcw %0" : : "m"(control));
#endif
}

// Windows has no bus error: a read of a page that nothing backs is an
// access violation there.
KESTROVA_NOINLINE inline int ReadPastTheEndOfAMappedFile() { return 0; }
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cfenv>

inline void UnmaskFloatDivisionByZero() { feenableexcept(FE_DIVBYZERO); }

KESTROVA_NOINLINE inline int ReadPastTheEndOfAMappedFile() {
  char name[] = "/tmp/kestrova-probe-XXXXXX";
  const int file = mkstemp(name);
  unlink(name);
  auto* mapped = static_cast<volatile int*>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, file, 0));
  return mapped[0];
}
#endif
