// Two process-wide facts that the registry accessor consults, established
// once at start-up before any accessor exists: the platform identifier
// that GetVersionExA reports (2 for the NT family, 0 when the call fails)
// and whether the thread locale is a double-byte one.
#pragma once

#include "platform/windows_api.h"
#include "runtime/process.h"

extern DWORD PlatformIdentifier;
extern bool DoubleByteLocale;

// Computes both facts from the platform.
void EstablishStartupFacts();

// The registry's start-up, for RunProgram.
ProgramUnit RegistryUnit();
