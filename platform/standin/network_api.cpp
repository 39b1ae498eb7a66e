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

#include "platform/standin/container_lookup.h"
#include "platform/standin/lan.h"
#include "platform/standin/netresource_packing.h"
#include "platform/standin/network_control.h"
#include "platform/windows_api.h"

namespace {

using standin::NetworkRecord;

// One open enumeration: the records of its level, already filtered, and
// how far the caller has got.
struct Enumeration {
  std::vector<NetworkRecord> Records;
  std::size_t Next = 0;
  int BatchesReturned = 0;
  std::optional<DWORD> EnumError;
  int EnumErrorAfterBatches = 0;
  std::optional<DWORD> MaxRecordsPerBatch;
};

// Handle values lie well away from the small values that stand for file
// descriptors, and are never reused, so that a closed handle stays
// invalid.
constexpr std::uintptr_t kFirstHandle = 0x4E450000;
constexpr std::uintptr_t kHandleStep = 4;

std::map<std::uintptr_t, Enumeration> open_enumerations;
std::uintptr_t next_handle = kFirstHandle;
std::vector<standin::EnumerationRequest> requests;

Enumeration* FindEnumeration(HANDLE handle) {
  const auto found = open_enumerations.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == open_enumerations.end() ? nullptr : &found->second;
}

bool Wanted(const NetworkRecord& record, DWORD type, DWORD usage) {
  // Containers and records of no particular type go with every type.
  if (type != RESOURCETYPE_ANY && record.Type != RESOURCETYPE_ANY && record.Type != type) return false;
  const DWORD kinds = usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER);
  if (kinds != 0 && (record.Usage & kinds) == 0) return false;
  return true;
}

// The level's records without what lies below them.
Enumeration EnumerationOf(const NetworkRecord& level, DWORD type, DWORD usage) {
  Enumeration enumeration;
  for (const NetworkRecord& child : level.Children) {
    if (!Wanted(child, type, usage)) continue;
    NetworkRecord copy;
    copy.Scope = child.Scope;
    copy.Type = child.Type;
    copy.DisplayType = child.DisplayType;
    copy.Usage = child.Usage;
    copy.LocalName = child.LocalName;
    copy.RemoteName = child.RemoteName;
    copy.Comment = child.Comment;
    copy.Provider = child.Provider;
    enumeration.Records.push_back(std::move(copy));
  }
  enumeration.EnumError = level.EnumError;
  enumeration.EnumErrorAfterBatches = level.EnumErrorAfterBatches;
  enumeration.MaxRecordsPerBatch = level.MaxRecordsPerBatch;
  return enumeration;
}

HANDLE Register(Enumeration enumeration) {
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
      *lphEnum = Register(Enumeration{});
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
  *lphEnum = Register(EnumerationOf(*level, dwType, dwUsage));
  return NO_ERROR;
}

DWORD WINAPI WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer, LPDWORD lpBufferSize) {
  if (lpcCount != nullptr && lpBufferSize != nullptr && requests.size() < standin::kMaxEnumerationRequests) {
    requests.push_back({*lpcCount, *lpBufferSize});
  }
  Enumeration* enumeration = FindEnumeration(hEnum);
  if (enumeration == nullptr) return ERROR_INVALID_HANDLE;
  if (lpcCount == nullptr || lpBufferSize == nullptr) return ERROR_INVALID_ADDRESS;
  if (lpBuffer == nullptr && *lpBufferSize != 0) return ERROR_INVALID_ADDRESS;
  // A request for no records would succeed without progress for ever.
  if (*lpcCount == 0) return ERROR_INVALID_PARAMETER;

  if (enumeration->EnumError && *enumeration->EnumError != NO_ERROR &&
      enumeration->BatchesReturned >= enumeration->EnumErrorAfterBatches) {
    return *enumeration->EnumError;
  }
  const std::span<const NetworkRecord> remaining =
      std::span<const NetworkRecord>(enumeration->Records).subspan(enumeration->Next);
  if (remaining.empty()) return ERROR_NO_MORE_ITEMS;

  DWORD wanted = *lpcCount;  // 0xFFFFFFFF: as many as fit
  if (enumeration->MaxRecordsPerBatch && wanted > *enumeration->MaxRecordsPerBatch) {
    wanted = std::max<DWORD>(*enumeration->MaxRecordsPerBatch, 1);
  }
  const DWORD placed = standin::PackRecords(remaining, wanted, lpBuffer, *lpBufferSize);
  if (placed == 0) {
    const std::uint64_t needed = standin::PackedSize(remaining.front());
    *lpBufferSize = needed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(needed);
    return ERROR_MORE_DATA;
  }
  enumeration->Next += placed;
  ++enumeration->BatchesReturned;
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
