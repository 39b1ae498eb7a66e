// The Windows error code that stands for a host errno value.
#pragma once

#include "platform/windows_api.h"

namespace standin {

DWORD WindowsErrorFromErrno(int error_number);

// SetLastError(WindowsErrorFromErrno(errno)).
void SetLastErrorFromErrno();

}  // namespace standin
