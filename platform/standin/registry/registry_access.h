// What the stand-in's registry functions share: finding the key behind a
// handle with the rights that a call needs, the rights that an open asks
// for, and how a LAN computer's registry is reached through the LAN
// source (lan_source.h). A LAN computer's registry is read here, never
// changed: every call that would change it answers ERROR_ACCESS_DENIED.
#pragma once

#include <string>
#include <vector>

#include "platform/standin/registry/registry_handles.h"

namespace standin {

constexpr LONG Status(DWORD code) { return static_cast<LONG>(code); }

// The rights that samDesired asks for, generic rights mapped to the key's
// own; the WOW64 view flags and MAXIMUM_ALLOWED select nothing here.
REGSAM RequestedRights(REGSAM desired);

// The open key behind hKey, checked for the rights that the call needs:
// ERROR_INVALID_HANDLE for no open key, ERROR_KEY_DELETED for a local key
// deleted since, ERROR_ACCESS_DENIED for rights that were not granted.
LONG Resolve(HKEY hKey, REGSAM needed, OpenKey& open);

// The names of a subkey path (SplitSubkeyPath) as a LAN source takes
// them: in UTF-16, one backslash between two names.
std::u16string LanPath(const std::vector<std::string>& names);

}  // namespace standin
