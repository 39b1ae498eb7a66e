// Windows' own registry (advapi32) as a contract backend: what runs on
// Windows, and under Wine.
#include "tests/support/registry_backend.h"

#include "platform/reg_import.h"

namespace {

class WindowsRegistryBackend : public RegistryBackend {
 public:
  std::string Name() const override { return "Windows"; }

  void Reset() override { regfile::DeleteKeyTree(HKEY_CURRENT_USER, kContractArea); }

  std::optional<std::string> AnsiFromUtf16le(std::string_view utf16le) const override {
    if (utf16le.size() % 2 != 0) return std::nullopt;
    std::wstring wide(utf16le.size() / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                     static_cast<unsigned char>(utf16le[2 * i + 1]) << 8);
    }
    if (wide.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (length <= 0) return std::nullopt;
    std::string ansi(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), length, nullptr, nullptr);
    return ansi;
  }

  // Windows does not tell how many registry handles a process holds.
  std::optional<int> OpenHandleCount() const override { return std::nullopt; }

  bool SetEnumKeyHook(std::function<void(HKEY, DWORD)>) override { return false; }
};

WindowsRegistryBackend backend;
const bool registered = RegisterRegistryBackend(&backend);

}  // namespace
