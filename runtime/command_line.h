// The command line, split into arguments. Arguments are separated by runs
// of the bytes 0x01 to 0x20; a double quote opens a stretch that runs to
// the next double quote or the end of the line; quotes are removed; there
// is no escape character; a pair of quotes where an argument would begin
// yields nothing.
#pragma once

#include <cstdint>

#include "runtime/text.h"

// Cuts the next argument off the line at cursor and moves cursor behind
// it, onto the separator that ended it or onto the terminating zero. The
// empty text means the end of the arguments.
Text NextArgument(const char*& cursor);

// The number of arguments after the leading word.
std::int32_t ArgumentCount();

// Position 0: the executable's file path. Any other position: that
// argument, or the empty text beyond the last one and for negative ones.
Text ArgumentAt(std::int32_t index);
