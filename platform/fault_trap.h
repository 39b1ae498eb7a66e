// Processor faults (bad memory access, division by zero, illegal
// instructions, stack overflow) of the program's thread, delivered as the
// platform's exception record to a handler that raises an error object.
// The handler's error unwinds from the faulting instruction like any
// other raise. Implemented per platform: fault_trap_posix.cpp (signals on
// an alternate stack) and fault_trap_win32.cpp (vectored exception
// handling).
#pragma once

#include "platform/windows_api.h"

// Called on the faulting thread; does not return.
using FaultHandler = void (*)(const EXCEPTION_RECORD& record);

void InstallFaultTrap(FaultHandler handler);
void RemoveFaultTrap();
