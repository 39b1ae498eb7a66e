// Windows' own registry (advapi32) as a contract backend: what runs on
// Windows, and under Wine.
#include "tests/support/registry_backend.h"
#include "tests/support/windows_ansi.h"

#include <string>
#include <utility>

#include "tests/support/import_patch_win32.h"
#include "tests/support/reg_import.h"

namespace {

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring WideFromAnsi(std::string_view ansi) {
  if (ansi.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  return wide;
}

// RegEnumKeyExA as this program imports it, with a hook that runs first.
using EnumKeyFunction = LONG(WINAPI*)(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME);
EnumKeyFunction real_enum_key = nullptr;
std::function<void(HKEY, DWORD)> enum_hook;

// The hook may call the registry itself, RegEnumKeyExA included; it is not
// run again from within itself.
LONG WINAPI EnumKeyAfterHook(HKEY key, DWORD index, LPSTR name, LPDWORD name_capacity, LPDWORD reserved,
                             LPSTR class_name, LPDWORD class_capacity, PFILETIME written) {
  static bool hook_running = false;
  if (enum_hook && !hook_running) {
    hook_running = true;
    const std::function<void(HKEY, DWORD)> hook = enum_hook;
    hook(key, index);
    hook_running = false;
  }
  return real_enum_key(key, index, name, name_capacity, reserved, class_name, class_capacity, written);
}

class WindowsRegistryBackend : public RegistryBackend {
 public:
  std::string Name() const override { return "Windows"; }

  RegistryQuirks Quirks() const override {
    RegistryQuirks quirks;
    if (RunsUnderWine()) {
      quirks.SubkeysOrderedLowerCased = true;
      quirks.AnsiQueryAddsTerminator = true;
      quirks.LongestKeyName = 256;
      quirks.LocalConnectionTakesAnyKey = true;
    }
    return quirks;
  }

  void Reset() override { regfile::DeleteKeyTree(HKEY_CURRENT_USER, kContractArea); }

  std::optional<std::string> AnsiFromUtf16le(std::string_view utf16le) const override {
    return testing_support::WindowsAnsiFromUtf16le(utf16le);
  }

  // GetProcessHandleCount counts every kernel handle of the process, the
  // predefined roots' among them (opened on their first use, closed by
  // RegCloseKey on the root), and Wine answers 0 whatever is open: no
  // count of registry handles can be had from it.
  std::optional<int> OpenHandleCount() const override { return std::nullopt; }

  // The hook goes in front of RegEnumKeyExA in this program's import
  // table, which the accessor calls through as well.
  bool SetEnumKeyHook(std::function<void(HKEY, DWORD)> hook) override {
    if (real_enum_key == nullptr && hook) {
      real_enum_key = reinterpret_cast<EnumKeyFunction>(
          ReplaceImport("advapi32.dll", "RegEnumKeyExA", reinterpret_cast<void*>(&EnumKeyAfterHook)));
      if (real_enum_key == nullptr) return false;
    }
    enum_hook = std::move(hook);
    return true;
  }

  // String data go through the Unicode function, which stores them as
  // given.
  LONG StoreValueUnchanged(HKEY key, std::string_view name, DWORD type, std::string_view data) override {
    const std::wstring wide_name = WideFromAnsi(name);
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
      return RegSetValueExW(key, wide_name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size()));
    }
    const std::wstring wide_data = WideFromAnsi(data);
    return RegSetValueExW(key, wide_name.c_str(), 0, type, reinterpret_cast<const BYTE*>(wide_data.data()),
                          static_cast<DWORD>(wide_data.size() * sizeof(wchar_t)));
  }
};

WindowsRegistryBackend backend;
const bool registered = RegisterRegistryBackend(&backend);

}  // namespace
