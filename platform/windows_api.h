// The program's one door to the operating system: the Windows operations it
// calls, with their Windows names, types and constants.
//
// On Windows these are the real functions of kernel32, user32, advapi32 and
// mpr. Everywhere else the stand-in in platform/standin implements the same
// declarations over the host system and a simulated LAN, so that the code
// above this layer is the same on every platform.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winnetwk.h>
#include <winreg.h>
#else
#include "platform/standin/windows_api.h"
#endif
