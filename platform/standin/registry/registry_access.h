// What the stand-in's registry functions share: finding the key behind a
// handle with the rights that a call needs, the rights that an open asks
// for, and how a LAN computer's registry is reached through the LAN
// source (lan_source.h). A LAN computer's registry is read here, never
// changed: every call that would change it answers ERROR_ACCESS_DENIED.
#pragma once

#include <string>

#include "platform/standin/registry/registry_handles.h"

namespace standin {

constexpr LONG Status(DWORD code) { return static_cast<LONG>(code); }

// The rights that samDesired asks for, generic rights mapped to the key's
// own; the WOW64 view flags and MAXIMUM_ALLOWED select nothing here.
REGSAM RequestedRights(REGSAM desired);

// The open key behind hKey, checked for the rights that the call needs:
// ERROR_INVALID_HANDLE for no open key, ERROR_KEY_DELETED for a local key
// deleted since, ERROR_ACCESS_DENIED for rights that were not granted.
// `open` is found in place, with no copy between: it tells nothing after
// a failure.
LONG Resolve(HKEY hKey, REGSAM needed, OpenKey& open);

// Buffers that the functions reading a LAN computer's registry reuse from
// call to call, so that a call allocates nothing once they have grown.
// Nothing is kept in them from one call to the next: every call fetches
// what it hands out anew. A call takes them once (LanScratch), after any
// hook it runs: taking them gives back any buffer that grew large.
struct LanBuffers {
  std::string Ansi;     // a path, a name or string data in ANSI
  std::u16string Wide;  // a path or a name in UTF-16
  std::string Stored;   // data as the LAN source hands them
};
LanBuffers& LanScratch();

// A subkey path (lpSubKey of RegOpenKeyExA) as a LAN source takes it, in
// UTF-16 with one backslash between two names, into buffers.Wide; the
// status that SplitSubkeyPath gives the path.
LONG LanPath(const char* path, LanBuffers& buffers);

}  // namespace standin
