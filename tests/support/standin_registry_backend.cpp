// The stand-in's registry as a contract backend.
#include "platform/standin/locale/code_pages.h"
#include "platform/standin/registry/registry_control.h"
#include "tests/support/registry_backend.h"

namespace {

class StandinRegistryBackend : public RegistryBackend {
 public:
  std::string Name() const override { return "Standin"; }
  void Reset() override { standin::ResetRegistryForTesting(); }
  std::optional<std::string> AnsiFromUtf16le(std::string_view utf16le) const override {
    return standin::AnsiFromUtf16le(utf16le);
  }
  std::optional<int> OpenHandleCount() const override { return standin::OpenRegistryHandleCount(); }
  bool SetEnumKeyHook(std::function<void(HKEY, DWORD)> hook) override {
    standin::SetRegEnumKeyHookForTesting(std::move(hook));
    return true;
  }
  LONG StoreValueUnchanged(HKEY key, std::string_view name, DWORD type, std::string_view data) override {
    return standin::StoreRegistryValueForTesting(key, name, type, std::string(data));
  }
};

StandinRegistryBackend backend;
const bool registered = RegisterRegistryBackend(&backend);

}  // namespace
