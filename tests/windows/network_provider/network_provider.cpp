// A network provider for the multiple provider router (mpr) that serves a
// simulated LAN, read from the same LAN directory and with the same
// description code as the Linux stand-in. Registered in a Wine prefix, it
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
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/container_lookup.h"
#include "platform/lan/lan_directory.h"
#include "platform/lan/level_enumeration.h"
#include "tests/windows/network_provider/provider_identity.h"
#include "tests/windows/network_provider/wide_records.h"

namespace {

using standin::Lan;
using standin::NetworkRecord;

std::string Utf8(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.pop_back();  // the terminating zero
  return text;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// True for a record that the router would take for the provider's own
// record: one named like the provider, and a network container without a
// name, which is how the router hands that record back.
bool TakenForTheProvider(const NetworkRecord& record, const std::string& provider_name) {
  if (record.RemoteName) return SameName(*record.RemoteName, provider_name);
  return record.DisplayType == RESOURCEDISPLAYTYPE_NETWORK && (record.Usage & RESOURCEUSAGE_CONTAINER) != 0;
}

// Leaves out, with a message, every record below `level` that the router
// would take for the provider's own record.
void LeaveOutRecordsTakenForTheProvider(NetworkRecord& level, const std::string& provider_name) {
  std::erase_if(level.Children, [&](const NetworkRecord& record) {
    if (!TakenForTheProvider(record, provider_name)) return false;
    std::cerr << "kestrova network provider: " << record.Origin << ": the router would take this record for the "
              << "provider " << provider_name << " and open the top of the network again; it is left out\n";
    return true;
  });
  for (NetworkRecord& child : level.Children) LeaveOutRecordsTakenForTheProvider(child, provider_name);
}

Lan LoadServedLan() {
  const wchar_t* directory = _wgetenv(network_provider::kLanDirectoryVariable);
  if (directory == nullptr || directory[0] == L'\0') {
    std::cerr << "kestrova network provider: " << Utf8(network_provider::kLanDirectoryVariable)
              << " is not set; the network is empty\n";
    return Lan{};
  }
  // Names stay UTF-8 here; they become UTF-16 when a batch is packed.
  Lan lan = standin::LoadLanDirectory(std::filesystem::path(directory), std::cerr, standin::NameEncoding{});
  LeaveOutRecordsTakenForTheProvider(lan.Top, Utf8(network_provider::kProviderName));
  return lan;
}

const Lan& ServedLan() {
  static const Lan lan = LoadServedLan();
  return lan;
}

// The level that opening a record enumerates, or the error that the open
// fails with.
struct Level {
  const NetworkRecord* Records = nullptr;
  DWORD OpenError = WN_SUCCESS;
};

Level LevelOpenedBy(const NETRESOURCEW* record, const NetworkRecord& top) {
  const NetworkRecord* level = &top;
  // The router's record for this provider comes without a remote name.
  if (record != nullptr && !(record->lpRemoteName == nullptr && record->dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK)) {
    if ((record->dwUsage & RESOURCEUSAGE_CONTAINER) == 0) return {nullptr, WN_NOT_CONTAINER};
    // Every record this provider hands out names it as the provider, so
    // only the remote name tells the containers apart.
    std::optional<std::string> remote_name;
    if (record->lpRemoteName != nullptr) remote_name = Utf8(record->lpRemoteName);
    level = standin::FindContainer(remote_name ? std::optional<std::string_view>(*remote_name) : std::nullopt,
                                   std::nullopt, top);
    if (level == nullptr) return {nullptr, ERROR_BAD_NETPATH};
  }
  if (level->OpenError && *level->OpenError != WN_SUCCESS) return {nullptr, *level->OpenError};
  return {level, WN_SUCCESS};
}

// Handles are counters, never reused, so that a closed handle stays
// invalid.
std::map<std::uintptr_t, standin::LevelEnumeration> open_enumerations;
std::uintptr_t next_handle = 0x4E500000;

standin::LevelEnumeration* FindEnumeration(HANDLE handle) {
  const auto found = open_enumerations.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == open_enumerations.end() ? nullptr : &found->second;
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
  const Level level = LevelOpenedBy(lpNetResource, ServedLan().Top);
  if (level.OpenError != WN_SUCCESS) return level.OpenError;
  const std::uintptr_t handle = next_handle;
  next_handle += 4;
  open_enumerations.emplace(handle, standin::EnumerateLevel(*level.Records, dwType, dwUsage));
  *lphEnum = reinterpret_cast<HANDLE>(handle);
  return WN_SUCCESS;
}

__declspec(dllexport) DWORD APIENTRY
    NPEnumResource(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer, LPDWORD lpBufferSize) {
  standin::LevelEnumeration* enumeration = FindEnumeration(hEnum);
  if (enumeration == nullptr) return WN_BAD_HANDLE;
  if (lpcCount == nullptr || lpBufferSize == nullptr) return WN_BAD_POINTER;
  if (lpBuffer == nullptr && *lpBufferSize != 0) return WN_BAD_POINTER;
  if (*lpcCount == 0) return WN_BAD_VALUE;

  // The WN_ codes are the Windows error codes that the shared level uses.
  const standin::NextBatch batch = standin::PrepareBatch(*enumeration, *lpcCount);
  if (batch.Status != WN_SUCCESS) return batch.Status;
  const DWORD placed = network_provider::PackWideRecords(batch.Remaining, batch.MostRecords,
                                                         network_provider::kProviderName, lpBuffer, *lpBufferSize);
  if (placed == 0) {
    const std::uint64_t needed =
        network_provider::WidePackedSize(batch.Remaining.front(), network_provider::kProviderName);
    *lpBufferSize = needed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(needed);
    return WN_MORE_DATA;
  }
  standin::FinishBatch(*enumeration, placed);
  *lpcCount = placed;
  return WN_SUCCESS;
}

__declspec(dllexport) DWORD APIENTRY NPCloseEnum(HANDLE hEnum) {
  return open_enumerations.erase(reinterpret_cast<std::uintptr_t>(hEnum)) == 0 ? WN_BAD_HANDLE : WN_SUCCESS;
}

}  // extern "C"
