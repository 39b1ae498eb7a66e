#include "tests/windows/network_provider/wide_records.h"

#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

namespace network_provider {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::optional<std::wstring> Wide(const std::optional<std::string>& utf8) {
  if (!utf8) return std::nullopt;
  return Wide(*utf8);
}

std::uint64_t StringBytes(const std::optional<std::wstring>& text) {
  return text ? (text->size() + 1) * sizeof(wchar_t) : 0;
}

// The strings of one record, in UTF-16.
struct WideStrings {
  std::optional<std::wstring> LocalName, RemoteName, Comment, Provider;

  WideStrings(const standin::NetworkRecord& record, const wchar_t* provider)
      : LocalName(Wide(record.LocalName)),
        RemoteName(Wide(record.RemoteName)),
        Comment(Wide(record.Comment)),
        Provider(std::wstring(provider)) {}

  std::uint64_t Bytes() const {
    return sizeof(NETRESOURCEW) + StringBytes(LocalName) + StringBytes(RemoteName) + StringBytes(Comment) +
           StringBytes(Provider);
  }
};

// Copies a string to the end of the string area, which grows downwards
// from `string_end`, and answers where it now lives.
LPWSTR PlaceString(const std::optional<std::wstring>& text, char*& string_end) {
  if (!text) return nullptr;
  string_end -= (text->size() + 1) * sizeof(wchar_t);
  std::memcpy(string_end, text->c_str(), (text->size() + 1) * sizeof(wchar_t));
  return reinterpret_cast<LPWSTR>(string_end);
}

}  // namespace

std::uint64_t WidePackedSize(const standin::NetworkRecord& record, const wchar_t* provider) {
  return WideStrings(record, provider).Bytes();
}

DWORD PackWideRecords(std::span<const standin::NetworkRecord> records, DWORD wanted, const wchar_t* provider,
                      void* buffer, DWORD size) {
  // The strings are UTF-16, so the string area ends on an even address.
  const DWORD usable = size & ~DWORD{1};
  std::uint64_t used = 0;
  DWORD count = 0;
  while (count < records.size() && count < wanted) {
    const std::uint64_t next = used + WidePackedSize(records[count], provider);
    if (next > usable) break;
    used = next;
    ++count;
  }

  char* const start = static_cast<char*>(buffer);
  char* string_end = start + usable;
  for (DWORD i = 0; i < count; ++i) {
    const standin::NetworkRecord& record = records[i];
    const WideStrings strings(record, provider);
    NETRESOURCEW packed{};
    packed.dwScope = record.Scope;
    packed.dwType = record.Type;
    packed.dwDisplayType = record.DisplayType;
    packed.dwUsage = record.Usage;
    packed.lpLocalName = PlaceString(strings.LocalName, string_end);
    packed.lpRemoteName = PlaceString(strings.RemoteName, string_end);
    packed.lpComment = PlaceString(strings.Comment, string_end);
    packed.lpProvider = PlaceString(strings.Provider, string_end);
    std::memcpy(start + i * sizeof(NETRESOURCEW), &packed, sizeof packed);
  }
  return count;
}

}  // namespace network_provider
