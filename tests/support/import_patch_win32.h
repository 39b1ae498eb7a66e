// Redirects a function that this program imports from a DLL, so that a
// test can run code of its own around the real function. Windows only:
// every call that the program's own code makes to an imported function
// goes through its import address table, which this rewrites.
#pragma once

#include <windows.h>

// Points every import of function from dll (compared without regard to
// case) in the program's module at replacement. Answers the address that
// the import held before, or null when the program imports no such
// function by name.
void* ReplaceImport(const char* dll, const char* function, void* replacement);
