// Processor and operating-system faults as error objects.
#pragma once

#include <memory>

#include "platform/windows_api.h"
#include "runtime/error_support.h"
#include "runtime/exception.h"

// The runtime error kind of a platform exception code; External for a
// code without a kind of its own.
RuntimeErrorKind OsFaultKind(DWORD code);

// The error object for a fault: the kind's class and message, the
// access-violation message with its module and addresses, or
// EExternalException with the code in hexadecimal. Objects of the EExternal
// branch carry a copy of the record.
std::unique_ptr<Exception> OsFaultToException(const EXCEPTION_RECORD& record);

// "Access violation at address %p in module '%s'. %s of address %p", or
// without the module when the instruction lies in none.
Text DescribeAccessViolation(const EXCEPTION_RECORD& record);
