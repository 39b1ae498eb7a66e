// What the stand-in's console and process offer beyond the Windows
// operations: the link between its handles and the host's file
// descriptors, and the command line that tests hand it. The program itself
// calls none of this.
#pragma once

#include <string_view>

#include "platform/windows_api.h"

namespace standin {

// The handle that stands for a host file descriptor, and back. A handle
// that stands for no descriptor gives -1. WriteFile decides at the first
// write whether a descriptor is a terminal; close a handle written to with
// CloseHandle, so that a descriptor opened later under its number is
// decided afresh.
HANDLE HandleFromDescriptor(int descriptor);
int DescriptorFromHandle(HANDLE handle);

// Replaces the command line that GetCommandLineA hands out.
void SetCommandLineForTesting(std::string_view command_line);

}  // namespace standin
