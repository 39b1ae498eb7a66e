// The start of the process: what the stand-in learns before any
// constructor runs (the arguments as the host handed them over, and which
// standard descriptors were open).
#pragma once

namespace standin {

int StartArgumentCount();
char** StartArguments();

// False when the descriptor (0, 1 or 2) was closed when the process
// started; it then holds a placeholder so that no file opened later can
// take its place.
bool StandardDescriptorWasOpen(int descriptor);

}  // namespace standin
