// Registers the test network provider, the library beside this program,
// with the multiple provider router of the Windows (Wine) installation it
// runs in: the provider's service key names it and its library, and the
// provider order lists the service once.
#include <windows.h>
#include <winnetwk.h>
// The provider interface needs the Windows types first.
#include <npapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/windows/network_provider/provider_identity.h"

namespace {

constexpr const wchar_t* kOrderKey = L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
constexpr const wchar_t* kOrderValue = L"ProviderOrder";

int Fail(const char* what, LONG status) {
  std::fprintf(stderr, "register_network_provider: %s failed with %ld\n", what, static_cast<long>(status));
  return 1;
}

LONG SetString(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring ReadString(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return {};
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  return text.data();
}

// The order with the service added at its end, unless it is there already.
std::wstring OrderWithService(const std::wstring& order) {
  std::size_t start = 0;
  while (start <= order.size()) {
    const std::size_t end = std::min(order.find(L',', start), order.size());
    if (order.compare(start, end - start, network_provider::kServiceName) == 0) return order;
    start = end + 1;
  }
  return order.empty() ? std::wstring(network_provider::kServiceName) : order + L"," + network_provider::kServiceName;
}

}  // namespace

int main() {
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return Fail("GetModuleFileNameW", static_cast<LONG>(GetLastError()));
  std::wstring library(program);
  library.erase(library.find_last_of(L'\\') + 1);
  library += network_provider::kLibraryFileName;
  if (GetFileAttributesW(library.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return Fail("finding the provider library beside the program", static_cast<LONG>(GetLastError()));
  }

  const std::wstring service_key =
      std::wstring(L"System\\CurrentControlSet\\Services\\") + network_provider::kServiceName + L"\\NetworkProvider";
  HKEY service = nullptr;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, service_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &service, nullptr);
  if (status != ERROR_SUCCESS) return Fail("creating the service key", status);
  const DWORD network_class = WN_NETWORK_CLASS;
  status = SetString(service, L"Name", REG_SZ, network_provider::kProviderName);
  if (status == ERROR_SUCCESS) status = SetString(service, L"ProviderPath", REG_EXPAND_SZ, library);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(service, L"Class", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&network_class),
                            sizeof network_class);
  }
  RegCloseKey(service);
  if (status != ERROR_SUCCESS) return Fail("writing the service's values", status);

  HKEY order = nullptr;
  status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOrderKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &order, nullptr);
  if (status != ERROR_SUCCESS) return Fail("creating the provider order key", status);
  status = SetString(order, kOrderValue, REG_SZ, OrderWithService(ReadString(order, kOrderValue)));
  RegCloseKey(order);
  if (status != ERROR_SUCCESS) return Fail("writing the provider order", status);

  std::printf("registered the network provider %ls\n", library.c_str());
  return 0;
}
