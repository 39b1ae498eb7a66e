// Network-resource enumeration over the simulated LAN: WNetOpenEnumA
// finds the level to enumerate (container_lookup.h) and takes a copy of
// its records, WNetEnumResourceA hands them out in batches, WNetCloseEnum
// forgets them.
//
// Only the global network is served. The other scopes that Windows knows
// (connected, remembered, recent, context) open an enumeration without
// records, as on a machine that has no connections; any other scope is
// ERROR_INVALID_PARAMETER.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/container_lookup.h"
#include "platform/lan/level_enumeration.h"
#include "platform/standin/lan/lan.h"
#include "platform/standin/network/netresource_packing.h"
#include "platform/standin/network/network_control.h"
#include "platform/windows_api.h"

namespace {

using standin::NetworkRecord;

// Handle values lie well away from the small values that stand for file
// descriptors, and are never reused, so that a closed handle stays
// invalid.
constexpr std::uintptr_t kFirstHandle = 0x4E450000;
constexpr std::uintptr_t kHandleStep = 4;

std::map<std::uintptr_t, standin::LevelEnumeration> open_enumerations;
std::uintptr_t next_handle = kFirstHandle;
std::vector<standin::EnumerationRequest> requests;

standin::LevelEnumeration* FindEnumeration(HANDLE handle) {
  const auto found = open_enumerations.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == open_enumerations.end() ? nullptr : &found->second;
}

HANDLE Register(standin::LevelEnumeration enumeration) {
  const std::uintptr_t value = next_handle;
  next_handle += kHandleStep;
  open_enumerations.emplace(value, std::move(enumeration));
  return reinterpret_cast<HANDLE>(value);
}

}  // namespace

DWORD WINAPI WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA lpNetResource, LPHANDLE lphEnum) {
  if (lphEnum == nullptr) return ERROR_INVALID_ADDRESS;
  if (dwType != RESOURCETYPE_ANY && dwType != RESOURCETYPE_DISK && dwType != RESOURCETYPE_PRINT) {
    return ERROR_INVALID_PARAMETER;
  }
  switch (dwScope) {
    case RESOURCE_GLOBALNET:
      break;
    case RESOURCE_CONNECTED:
    case RESOURCE_REMEMBERED:
    case RESOURCE_RECENT:
    case RESOURCE_CONTEXT:
      *lphEnum = Register(standin::LevelEnumeration{});
      return NO_ERROR;
    default:
      return ERROR_INVALID_PARAMETER;
  }

  const NetworkRecord& top = standin::CurrentLan().Top;
  const NetworkRecord* level = &top;
  if (lpNetResource != nullptr) {
    // A record that is no container, or that names nothing known, has no
    // level to enumerate.
    if ((lpNetResource->dwUsage & RESOURCEUSAGE_CONTAINER) == 0) return ERROR_NOT_CONTAINER;
    const auto view = [](const char* text) {
      return text == nullptr ? std::nullopt : std::optional<std::string_view>(text);
    };
    level = standin::FindContainer(view(lpNetResource->lpRemoteName), view(lpNetResource->lpProvider), top);
    if (level == nullptr) return ERROR_BAD_NETPATH;
  }
  if (level->OpenError && *level->OpenError != NO_ERROR) return *level->OpenError;
  *lphEnum = Register(standin::EnumerateLevel(*level, dwType, dwUsage));
  return NO_ERROR;
}

DWORD WINAPI WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer, LPDWORD lpBufferSize) {
  if (lpcCount != nullptr && lpBufferSize != nullptr && requests.size() < standin::kMaxEnumerationRequests) {
    requests.push_back({*lpcCount, *lpBufferSize});
  }
  standin::LevelEnumeration* enumeration = FindEnumeration(hEnum);
  if (enumeration == nullptr) return ERROR_INVALID_HANDLE;
  if (lpcCount == nullptr || lpBufferSize == nullptr) return ERROR_INVALID_ADDRESS;
  if (lpBuffer == nullptr && *lpBufferSize != 0) return ERROR_INVALID_ADDRESS;
  // A request for no records would succeed without progress for ever.
  if (*lpcCount == 0) return ERROR_INVALID_PARAMETER;

  const standin::NextBatch batch = standin::PrepareBatch(*enumeration, *lpcCount);
  if (batch.Status != NO_ERROR) return batch.Status;
  const DWORD placed = standin::PackRecords(batch.Remaining, batch.MostRecords, lpBuffer, *lpBufferSize);
  if (placed == 0) {
    const std::uint64_t needed = standin::PackedSize(batch.Remaining.front());
    *lpBufferSize = needed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(needed);
    return ERROR_MORE_DATA;
  }
  standin::FinishBatch(*enumeration, placed);
  *lpcCount = placed;
  return NO_ERROR;
}

DWORD WINAPI WNetCloseEnum(HANDLE hEnum) {
  if (open_enumerations.erase(reinterpret_cast<std::uintptr_t>(hEnum)) == 0) return ERROR_INVALID_HANDLE;
  return NO_ERROR;
}

namespace standin {

std::size_t OpenEnumerationCount() { return open_enumerations.size(); }

const std::vector<EnumerationRequest>& EnumerationRequests() { return requests; }

void ClearEnumerationRequests() { requests.clear(); }

}  // namespace standin
