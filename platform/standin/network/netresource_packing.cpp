#include "platform/standin/network/netresource_packing.h"

#include <cstring>
#include <optional>
#include <string>

namespace standin {
namespace {

std::uint64_t StringBytes(const std::optional<std::string>& text) { return text ? text->size() + 1 : 0; }

// Copies a string to the end of the string area, which grows downwards
// from `string_end`, and answers where it now lives.
LPSTR PlaceString(const std::optional<std::string>& text, char*& string_end) {
  if (!text) return nullptr;
  string_end -= text->size() + 1;
  std::memcpy(string_end, text->c_str(), text->size() + 1);
  return string_end;
}

}  // namespace

std::uint64_t PackedSize(const NetworkRecord& record) {
  return sizeof(NETRESOURCEA) + StringBytes(record.LocalName) + StringBytes(record.RemoteName) +
         StringBytes(record.Comment) + StringBytes(record.Provider);
}

DWORD PackRecords(std::span<const NetworkRecord> records, DWORD wanted, void* buffer, DWORD size) {
  // First decide how many fit: each record adds its fixed part at the
  // front and its strings at the back, and the two must not meet.
  std::uint64_t used = 0;
  DWORD count = 0;
  while (count < records.size() && count < wanted) {
    const std::uint64_t next = used + PackedSize(records[count]);
    if (next > size) break;
    used = next;
    ++count;
  }

  char* const start = static_cast<char*>(buffer);
  char* string_end = start + size;
  for (DWORD i = 0; i < count; ++i) {
    const NetworkRecord& record = records[i];
    NETRESOURCEA packed{};
    packed.dwScope = record.Scope;
    packed.dwType = record.Type;
    packed.dwDisplayType = record.DisplayType;
    packed.dwUsage = record.Usage;
    packed.lpLocalName = PlaceString(record.LocalName, string_end);
    packed.lpRemoteName = PlaceString(record.RemoteName, string_end);
    packed.lpComment = PlaceString(record.Comment, string_end);
    packed.lpProvider = PlaceString(record.Provider, string_end);
    // The caller's buffer need not be aligned for the record.
    std::memcpy(start + i * sizeof(NETRESOURCEA), &packed, sizeof packed);
  }
  return count;
}

}  // namespace standin
