// A network provider for the multiple provider router (mpr) that serves a
// simulated LAN, read from the same LAN directory and served through the
// same LAN source (lan::DirectoryLanSource) as on the Linux stand-in. Registered in a Wine prefix, it
// lets the Windows build discover the very computers that the Linux build
// discovers.
//
// The router lists each provider at the top of the network as a network
// container of its own, whose remote name is the provider's name, and
// hands that record back with its remote name absent when a program opens
// it. Below that record the provider serves the description's top level,
// so the walk has one more level than on Linux and finds the same servers
// in the same order, with every level's faults in the same place.
//
// The router takes any record whose remote name is the provider's name for
// the provider's own record, and hands it back just as it hands back that
// one: without a remote name. Such a record, or a nameless network
// container, would open the top level again and make a walk endless, so
// the provider leaves them out.
#include <windows.h>
#include <winnetwk.h>
// The provider interface's header declares its functions without C
// linkage of their own.
extern "C" {
#include <npapi.h>
}

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/lan/directory_lan_source.h"
#include "platform/lan/lan_directory_reader.h"
#include "platform/lan/record_batches.h"
#include "tests/windows/network_provider/provider_identity.h"

namespace {

std::string Utf8(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.pop_back();  // the terminating zero
  return text;
}

// True for a record that the router would take for the provider's own
// record: one named like the provider, and a network container without a
// name, which is how the router hands that record back.
bool TakenForTheProvider(const lan::NetworkRecord& record, const std::string& provider_name) {
  if (record.RemoteName) return ascii_case::Same(*record.RemoteName, provider_name);
  return record.DisplayType == RESOURCEDISPLAYTYPE_NETWORK && (record.Usage & RESOURCEUSAGE_CONTAINER) != 0;
}

// Leaves out, with a message, every record below `level` that the router
// would take for the provider's own record.
void LeaveOutRecordsTakenForTheProvider(lan::NetworkRecord& level, const std::string& provider_name) {
  std::erase_if(level.Children, [&](const lan::NetworkRecord& record) {
    if (!TakenForTheProvider(record, provider_name)) return false;
    std::cerr << "kestrova network provider: " << record.Origin << ": the router would take this record for the "
              << "provider " << provider_name << " and open the top of the network again; it is left out\n";
    return true;
  });
  for (lan::NetworkRecord& child : level.Children) LeaveOutRecordsTakenForTheProvider(child, provider_name);
}

// The LAN, read once. No registry is connected through the provider.
lan::LanSource& ServedLan() {
  static const std::unique_ptr<lan::LanSource> source = [] {
    lan::Lan model;
    const wchar_t* directory = _wgetenv(network_provider::kLanDirectoryVariable);
    if (directory == nullptr || directory[0] == L'\0') {
      std::cerr << "kestrova network provider: " << Utf8(network_provider::kLanDirectoryVariable)
                << " is not set; the network is empty\n";
    } else {
      model = lan::LoadLanDirectory(std::filesystem::path(directory), std::cerr);
      LeaveOutRecordsTakenForTheProvider(model.Top, Utf8(network_provider::kProviderName));
    }
    return std::make_unique<lan::DirectoryLanSource>(std::move(model), nullptr, std::cerr);
  }();
  return *source;
}

std::optional<std::wstring> Wide(const std::optional<std::u16string>& text) {
  if (!text) return std::nullopt;
  return std::wstring(text->begin(), text->end());
}

// A record's strings as the router receives them: every record names this
// provider as its provider, so that the router sends the enumeration of a
// container back here.
lan::RecordStrings<wchar_t> WideStrings(const lan::BrowseRecord& record) {
  return {Wide(record.LocalName), Wide(record.RemoteName), Wide(record.Comment),
          std::wstring(network_provider::kProviderName)};
}

// Handles are counters, never reused, so that a closed handle stays
// invalid.
std::map<std::uintptr_t, std::unique_ptr<lan::BrowseLevel>> open_enumerations;
std::uintptr_t next_handle = 0x4E500000;

lan::BrowseLevel* FindEnumeration(HANDLE handle) {
  const auto found = open_enumerations.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == open_enumerations.end() ? nullptr : found->second.get();
}

}  // namespace

extern "C" {

__declspec(dllexport) DWORD APIENTRY NPGetCaps(DWORD nIndex) {
  switch (nIndex) {
    case WNNC_SPEC_VERSION:
      return WNNC_SPEC_VERSION51;
    case WNNC_NET_TYPE:
      return WNNC_NET_LANMAN;
    case WNNC_DRIVER_VERSION:
      return 1;
    case WNNC_ENUMERATION:
      return WNNC_ENUM_GLOBAL;
    case WNNC_START:
      return 1;  // started
    default:
      return 0;  // no connections, dialogs, administration or user names
  }
}

__declspec(dllexport) DWORD APIENTRY
    NPOpenEnum(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEW lpNetResource, LPHANDLE lphEnum) {
  if (lphEnum == nullptr) return WN_BAD_POINTER;
  if (dwScope != RESOURCE_GLOBALNET) return WN_NOT_SUPPORTED;
  std::optional<lan::BrowseRecord> container;
  // The router's record for this provider comes without a remote name and
  // opens the top.
  if (lpNetResource != nullptr &&
      !(lpNetResource->lpRemoteName == nullptr && lpNetResource->dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK)) {
    if ((lpNetResource->dwUsage & RESOURCEUSAGE_CONTAINER) == 0) return WN_NOT_CONTAINER;
    // Every record this provider hands out names it as the provider, so
    // only the remote name tells the containers apart: the container
    // names no provider.
    container.emplace();
    container->Usage = lpNetResource->dwUsage;
    if (lpNetResource->lpRemoteName != nullptr) {
      const std::wstring remote_name(lpNetResource->lpRemoteName);
      container->RemoteName = std::u16string(remote_name.begin(), remote_name.end());
    }
  }
  std::unique_ptr<lan::BrowseLevel> level;
  // The WN_ codes are the Windows error codes that the LAN source answers.
  const DWORD status = ServedLan().OpenLevel(container ? &*container : nullptr, dwType, dwUsage, level);
  if (status != WN_SUCCESS) return status;
  const std::uintptr_t handle = next_handle;
  next_handle += 4;
  open_enumerations.emplace(handle, std::move(level));
  *lphEnum = reinterpret_cast<HANDLE>(handle);
  return WN_SUCCESS;
}

__declspec(dllexport) DWORD APIENTRY
    NPEnumResource(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer, LPDWORD lpBufferSize) {
  return lan::HandOutBatch<NETRESOURCEW, wchar_t>(FindEnumeration(hEnum), lpcCount, lpBuffer, lpBufferSize,
                                                  WideStrings);
}

__declspec(dllexport) DWORD APIENTRY NPCloseEnum(HANDLE hEnum) {
  return open_enumerations.erase(reinterpret_cast<std::uintptr_t>(hEnum)) == 0 ? WN_BAD_HANDLE : WN_SUCCESS;
}

}  // extern "C"
