// Network-resource enumeration over the LAN in use (lan_in_use.h):
// WNetOpenEnumA opens a level of the LAN's browse hierarchy,
// WNetEnumResourceA hands its records out in batches (record_batches.h),
// WNetCloseEnum closes it. Names cross between the ANSI code page and the
// LAN's UTF-16 as code_pages.h says; a record that WNetEnumResourceA
// wrote and that comes back as it was written reaches the LAN as the
// record it was made from (handed_out_records.h), whatever its names
// became in the code page. The servers handed out are counted on the
// program's status line (program_status.h) as the computers found.
//
// Only the global network is served. The other scopes that Windows knows
// (connected, remembered, recent, context) open an enumeration without
// records, as on a machine that has no connections; any other scope is
// ERROR_INVALID_PARAMETER.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/lan/record_batches.h"
#include "platform/standin/console/program_status.h"
#include "platform/standin/lan/lan_in_use.h"
#include "platform/standin/locale/code_pages.h"
#include "platform/standin/network/handed_out_records.h"
#include "platform/standin/network/network_control.h"
#include "platform/windows_api.h"

namespace {

// A level without records.
class EmptyLevel final : public lan::BrowseLevel {
 public:
  DWORD Peek(DWORD /*most*/, std::span<const lan::BrowseRecord>& /*records*/) override { return ERROR_NO_MORE_ITEMS; }
  void Advance(DWORD /*count*/) override {}
};

// Handle values lie well away from the small values that stand for file
// descriptors, and are never reused, so that a closed handle stays
// invalid.
constexpr std::uintptr_t kFirstHandle = 0x4E450000;
constexpr std::uintptr_t kHandleStep = 4;

std::map<std::uintptr_t, std::unique_ptr<lan::BrowseLevel>> open_enumerations;
std::uintptr_t next_handle = kFirstHandle;
std::vector<standin::EnumerationRequest> requests;
standin::HandedOutRecords handed_out;

lan::BrowseLevel* FindEnumeration(HANDLE handle) {
  const auto found = open_enumerations.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == open_enumerations.end() ? nullptr : found->second.get();
}

HANDLE Register(std::unique_ptr<lan::BrowseLevel> level) {
  const std::uintptr_t value = next_handle;
  next_handle += kHandleStep;
  open_enumerations.emplace(value, std::move(level));
  return reinterpret_cast<HANDLE>(value);
}

std::optional<std::u16string> Wide(const char* ansi) {
  if (ansi == nullptr) return std::nullopt;
  return standin::Utf16FromAnsi(ansi);
}

std::optional<std::string> Ansi(const std::optional<std::u16string>& text) {
  if (!text) return std::nullopt;
  return standin::AnsiFromUtf16(*text);
}

lan::RecordStrings<char> AnsiStrings(const lan::BrowseRecord& record) {
  return {Ansi(record.LocalName), Ansi(record.RemoteName), Ansi(record.Comment), Ansi(record.Provider)};
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
      *lphEnum = Register(std::make_unique<EmptyLevel>());
      return NO_ERROR;
    default:
      return ERROR_INVALID_PARAMETER;
  }

  std::optional<lan::BrowseRecord> container;
  if (lpNetResource != nullptr) {
    // A record that is no container has no level to enumerate.
    if ((lpNetResource->dwUsage & RESOURCEUSAGE_CONTAINER) == 0) return ERROR_NOT_CONTAINER;
  }
  if (const lan::BrowseRecord* original = lpNetResource == nullptr ? nullptr : handed_out.Original(lpNetResource)) {
    container = *original;
  } else if (lpNetResource != nullptr) {
    container.emplace();
    container->Scope = lpNetResource->dwScope;
    container->Type = lpNetResource->dwType;
    container->DisplayType = lpNetResource->dwDisplayType;
    container->Usage = lpNetResource->dwUsage;
    container->LocalName = Wide(lpNetResource->lpLocalName);
    container->RemoteName = Wide(lpNetResource->lpRemoteName);
    container->Comment = Wide(lpNetResource->lpComment);
    container->Provider = Wide(lpNetResource->lpProvider);
  }
  std::unique_ptr<lan::BrowseLevel> level;
  const DWORD status = standin::LanInUse().OpenLevel(container ? &*container : nullptr, dwType, dwUsage, level);
  if (status != NO_ERROR) return status;
  *lphEnum = Register(std::move(level));
  return NO_ERROR;
}

DWORD WINAPI WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer, LPDWORD lpBufferSize) {
  if (lpcCount != nullptr && lpBufferSize != nullptr && requests.size() < standin::kMaxEnumerationRequests) {
    requests.push_back({*lpcCount, *lpBufferSize});
  }
  const auto handle = reinterpret_cast<std::uintptr_t>(hEnum);
  // The records are noted once the batch is whole, over those of the
  // enumeration's last batch, which the caller's buffer may have held.
  struct Placed {
    const void* At;
    NETRESOURCEA Written;
    lan::BrowseRecord Record;
  };
  std::vector<Placed> placed;
  std::uint64_t servers = 0;
  const DWORD status = lan::HandOutBatch<NETRESOURCEA, char>(
      FindEnumeration(hEnum), lpcCount, lpBuffer, lpBufferSize, AnsiStrings,
      [&placed, &servers](const void* at, const NETRESOURCEA& written, const lan::BrowseRecord& record) {
        // Only a container can be handed back to open its level.
        if ((record.Usage & RESOURCEUSAGE_CONTAINER) != 0) placed.push_back({at, written, record});
        if (record.DisplayType == RESOURCEDISPLAYTYPE_SERVER) ++servers;
      });
  if (status == NO_ERROR) {
    handed_out.Forget(handle);
    for (Placed& one : placed) handed_out.Note(handle, one.At, one.Written, std::move(one.Record));
    standin::NoteComputersFound(servers);
  }
  return status;
}

DWORD WINAPI WNetCloseEnum(HANDLE hEnum) {
  if (open_enumerations.erase(reinterpret_cast<std::uintptr_t>(hEnum)) == 0) return ERROR_INVALID_HANDLE;
  handed_out.Forget(reinterpret_cast<std::uintptr_t>(hEnum));
  return NO_ERROR;
}

namespace standin {

std::size_t OpenEnumerationCount() { return open_enumerations.size(); }

const std::vector<EnumerationRequest>& EnumerationRequests() { return requests; }

void ClearEnumerationRequests() { requests.clear(); }

}  // namespace standin
