// How the records of one browse level reach a caller, in batches, as the
// stand-in's WNetEnumResourceA and the test network provider's
// NPEnumResource hand them out alike: the checks of the call, then as many
// records as are asked for, as the level allows and as fit, laid out in
// the caller's buffer: NETRESOURCE records one after the other from the
// start, their strings packed from the end, every string pointer pointing
// into the buffer or null. NETRESOURCEA with ANSI strings and NETRESOURCEW
// with UTF-16 ones have the same layout.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/lan/lan_source.h"

namespace lan {

// The strings of one record as the buffer holds them.
template <class Char>
struct RecordStrings {
  std::optional<std::basic_string<Char>> LocalName;
  std::optional<std::basic_string<Char>> RemoteName;
  std::optional<std::basic_string<Char>> Comment;
  std::optional<std::basic_string<Char>> Provider;
};

// The bytes that one record takes: the NETRESOURCE itself and each of its
// strings that is not absent, with its terminating zero.
template <class NetResource, class Char>
std::uint64_t PackedSize(const RecordStrings<Char>& strings) {
  const auto bytes = [](const std::optional<std::basic_string<Char>>& text) -> std::uint64_t {
    return text ? (text->size() + 1) * sizeof(Char) : 0;
  };
  return sizeof(NetResource) + bytes(strings.LocalName) + bytes(strings.RemoteName) + bytes(strings.Comment) +
         bytes(strings.Provider);
}

namespace record_batches {

// Copies a string to the end of the string area, which grows downwards
// from `string_end`, and answers where it now lives.
template <class Char>
Char* PlaceString(const std::optional<std::basic_string<Char>>& text, char*& string_end) {
  if (!text) return nullptr;
  string_end -= (text->size() + 1) * sizeof(Char);
  std::memcpy(string_end, text->c_str(), (text->size() + 1) * sizeof(Char));
  return reinterpret_cast<Char*>(string_end);
}

// What HandOutBatch calls by default for each record placed: nothing.
struct NoteNothing {
  template <class NetResource>
  void operator()(const void* /*at*/, const NetResource& /*written*/, const BrowseRecord& /*record*/) const {}
};

}  // namespace record_batches

// Hands the next batch of `level` to a caller that asked for `*count`
// records (0xFFFFFFFF: as many as fit) in `*size` bytes at `buffer`;
// `strings_of(record)` gives a record's strings in the buffer's character
// type. A null level is a handle that is not open. On success `*count`
// tells how many records were placed; a buffer too small for the first
// record gives ERROR_MORE_DATA with `*size` set to what it needs. Records
// are used up only when they are handed out. `noted(at, written, record)`
// is told of each record placed: where in the buffer it lies, the
// NETRESOURCE written there and the record it was made from.
template <class NetResource, class Char, class StringsOf, class Noted = record_batches::NoteNothing>
DWORD HandOutBatch(BrowseLevel* level, DWORD* count, void* buffer, DWORD* size, const StringsOf& strings_of,
                   const Noted& noted = {}) {
  if (level == nullptr) return ERROR_INVALID_HANDLE;
  if (count == nullptr || size == nullptr) return ERROR_INVALID_ADDRESS;
  if (buffer == nullptr && *size != 0) return ERROR_INVALID_ADDRESS;
  // A request for no records would succeed without progress for ever.
  if (*count == 0) return ERROR_INVALID_PARAMETER;

  std::span<const BrowseRecord> records;
  const DWORD status = level->Peek(*count, records);
  if (status != NO_ERROR) return status;

  // First decide how many fit: each record adds its fixed part at the
  // front and its strings at the back, and the two must not meet. The
  // string area ends on a boundary of the character size.
  const std::uint64_t usable = *size - *size % sizeof(Char);
  std::vector<RecordStrings<Char>> strings;
  std::uint64_t used = 0;
  DWORD placed = 0;
  while (placed < records.size()) {
    strings.push_back(strings_of(records[placed]));
    const std::uint64_t next = used + PackedSize<NetResource>(strings.back());
    if (next > usable) break;
    used = next;
    ++placed;
  }
  if (placed == 0) {
    const std::uint64_t needed = PackedSize<NetResource>(strings.front());
    *size = needed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(needed);
    return ERROR_MORE_DATA;
  }

  char* const start = static_cast<char*>(buffer);
  char* string_end = start + usable;
  for (DWORD i = 0; i < placed; ++i) {
    const BrowseRecord& record = records[i];
    NetResource packed{};
    packed.dwScope = record.Scope;
    packed.dwType = record.Type;
    packed.dwDisplayType = record.DisplayType;
    packed.dwUsage = record.Usage;
    packed.lpLocalName = record_batches::PlaceString(strings[i].LocalName, string_end);
    packed.lpRemoteName = record_batches::PlaceString(strings[i].RemoteName, string_end);
    packed.lpComment = record_batches::PlaceString(strings[i].Comment, string_end);
    packed.lpProvider = record_batches::PlaceString(strings[i].Provider, string_end);
    // The caller's buffer need not be aligned for the record.
    std::memcpy(start + i * sizeof(NetResource), &packed, sizeof packed);
    noted(static_cast<const void*>(start + i * sizeof(NetResource)), packed, record);
  }
  level->Advance(placed);
  *count = placed;
  return NO_ERROR;
}

}  // namespace lan
