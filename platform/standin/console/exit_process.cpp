// The end of the process: ExitProcess.
#include <cstdlib>

#include "platform/windows_api.h"

void WINAPI ExitProcess(UINT uExitCode) { std::exit(static_cast<int>(uExitCode)); }
