// The calling thread's last error: GetLastError and SetLastError.
#include "platform/windows_api.h"

namespace {

thread_local DWORD last_error = 0;

}  // namespace

DWORD WINAPI GetLastError() { return last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { last_error = dwErrCode; }
