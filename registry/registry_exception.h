// The error that the registry accessor raises when a value that exists
// cannot be fetched or is read as text but is not text.
#pragma once

#include "runtime/exception.h"

KESTROVA_ERROR_CLASS(ERegistryException, Exception);
