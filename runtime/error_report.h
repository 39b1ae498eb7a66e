// The end of every error that nothing handles: the failure report on
// standard error and exit code 1.
#pragma once

#include <cstddef>
#include <exception>

#include "runtime/exception.h"

// Installed at start-up before anything else can fail, removed at the end.
void InstallTopLevelErrorHandler();
void RemoveTopLevelErrorHandler();

// Receives an error that left the program's main block, after every frame
// above has run its clean-up. Reports it (or, while error support is not
// installed, ends with the runtime-error line). Never returns.
[[noreturn]] void TopLevelErrorHandler(std::exception_ptr escaped);

// Builds the report for error raised at address into buffer (at most
// size - 1 characters and a zero byte) and returns its length.
std::size_t FormatErrorReport(const char* class_name, const Text& message, const void* address, char* buffer,
                              std::size_t size);

// Flushes standard output, writes the report to standard error in the OEM
// code page and ends the process with exit code 1.
[[noreturn]] void ReportUnhandledError(const Exception& error, const void* address);
