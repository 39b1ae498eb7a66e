// Finds the computers of the LAN: a depth-first walk of the network
// browser's hierarchy, appending every server's name in the order the
// platform returns the records.
#include <cstdint>
#include <memory>

#include "app/inventory.h"
#include "platform/windows_api.h"

namespace {

// Room for 513 records of the 32-bit layout.
constexpr DWORD kBatchBufferSize = 16416;
constexpr DWORD kAsManyAsFit = 0xFFFFFFFF;

// An open enumeration, closed exactly once when its level of the walk
// ends, also when an error leaves it.
class NetworkEnumeration {
 public:
  explicit NetworkEnumeration(HANDLE handle) : handle_(handle) {}
  ~NetworkEnumeration() { WNetCloseEnum(handle_); }
  NetworkEnumeration(const NetworkEnumeration&) = delete;
  NetworkEnumeration& operator=(const NetworkEnumeration&) = delete;
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

// Walks one level of the hierarchy: the top when parent is null, else
// the container that parent describes. The level's batch buffer lives on
// the heap, so that a deep hierarchy cannot exhaust the stack, and stays
// untouched while the levels below it are walked.
void EnumerateNetworkLevel(const NETRESOURCEA* parent, TStringList& computers) {
  HANDLE handle = nullptr;
  if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, const_cast<LPNETRESOURCEA>(parent), &handle) != NO_ERROR) {
    return;
  }
  const NetworkEnumeration enumeration(handle);
  const auto batch = std::make_unique<std::uint64_t[]>(kBatchBufferSize / sizeof(std::uint64_t));
  const auto* records = reinterpret_cast<const NETRESOURCEA*>(batch.get());
  // Set once: each later call passes back the count that the previous
  // one returned, and the size as the platform left it.
  DWORD count = kAsManyAsFit;
  DWORD size = kBatchBufferSize;
  while (WNetEnumResourceA(enumeration.Handle(), &count, batch.get(), &size) == NO_ERROR) {
    // A count beyond what the buffer can hold is not believed.
    const DWORD placed =
        count < kBatchBufferSize / sizeof(NETRESOURCEA) ? count : kBatchBufferSize / sizeof(NETRESOURCEA);
    for (DWORD index = 0; index < placed; ++index) {
      const NETRESOURCEA& record = records[index];
      if (record.dwDisplayType == RESOURCEDISPLAYTYPE_SERVER) {
        // Two backslashes, then the computer's name.
        const Text remote_name = TextFromCString(record.lpRemoteName);
        computers.Add(Slice(remote_name, 3, TextLength(remote_name)));
      }
      if ((record.dwUsage & RESOURCEUSAGE_CONTAINER) != 0) EnumerateNetworkLevel(&record, computers);
    }
  }
}

}  // namespace

void CollectLanComputers(TStringList& computers) { EnumerateNetworkLevel(nullptr, computers); }
