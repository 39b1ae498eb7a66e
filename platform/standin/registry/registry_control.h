// What the stand-in's registry offers beyond the Windows operations: the
// handles and connections open, and the settings that tests use to put it
// into a known state. The program itself calls none of this.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/windows_api.h"

namespace standin {

// The number of registry handles open now (predefined roots not
// counted), and of connections to LAN computers' registries open now.
int OpenRegistryHandleCount();
int OpenLanConnectionCount();

// Forgets every open registry handle, empties the local registry and
// removes the enumeration hook.
void ResetRegistryForTesting();

// Run at the start of every RegEnumKeyExA with its handle and index, so
// that a test can change the registry between two calls of a listing.
using RegistryEnumHook = std::function<void(HKEY key, DWORD index)>;
void SetRegEnumKeyHookForTesting(RegistryEnumHook hook);

// Stores a value below key with exactly these data, as an export file
// gives them: unlike RegSetValueExA, no terminating zero is added to
// string data. The status is RegSetValueExA's for the same key.
LONG StoreRegistryValueForTesting(HKEY key, std::string_view name, DWORD type, std::string data);

}  // namespace standin
