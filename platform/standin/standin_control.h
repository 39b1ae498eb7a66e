// What the stand-in offers beyond the Windows operations: the link between
// its handles and the host's file descriptors, and the settings that tests
// use to put it into a known state. The program itself calls none of this.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_api.h"

namespace standin {

// The handle that stands for a host file descriptor, and back. A handle
// that stands for no descriptor gives -1.
HANDLE HandleFromDescriptor(int descriptor);
int DescriptorFromHandle(HANDLE handle);

// Replaces the command line that GetCommandLineA hands out.
void SetCommandLineForTesting(std::string_view command_line);

// The locale and code-page facts that the stand-in reports. Each field
// left empty takes its value from the host (see code_pages.cpp).
struct LocaleFacts {
  std::optional<DWORD> PlatformId{};                 // GetVersionExA's dwPlatformId
  std::optional<bool> VersionFails{};                // GetVersionExA fails when true
  std::optional<LCID> ThreadLocale{};                // GetThreadLocale (0 allowed)
  std::optional<std::string> DefaultAnsiCodePage{};  // GetLocaleInfoA text
  std::optional<UINT> AnsiCodePage{};                // GetACP
  std::optional<UINT> OemCodePage{};                 // GetOEMCP
};
void SetLocaleFactsForTesting(const LocaleFacts& facts);

}  // namespace standin

#include <functional>

namespace standin {

// Registry. The number of registry handles open now (predefined roots not
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
