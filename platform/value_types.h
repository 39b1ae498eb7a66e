// What the registry's value types say about their data.
#pragma once

#include "platform/windows_api.h"

// The types whose data are text: REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ.
// Their data cross between code pages as text does.
inline bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }
