// Feeds arbitrary bytes to the LAN description reader as the contents of
// lan.json, then walks whatever network it accepted through the stand-in's
// network enumeration, with buffer sizes and record counts taken from the
// input. Besides what the sanitizers catch, it checks that every message
// is one line naming the file and a line of the input, that every string
// of a batch lies inside the buffer, and that every handle is closed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/lan_description.h"
#include "platform/lan/walk_bounds.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/network/network_control.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckMessages(const std::string& messages, std::string_view text) {
  const long lines = 1 + static_cast<long>(std::count(text.begin(), text.end(), '\n'));
  std::istringstream stream(messages);
  const std::string prefix = "kestrova: fuzz.json:";
  for (std::string line; std::getline(stream, line);) {
    Require(line.rfind(prefix, 0) == 0);
    char* end = nullptr;
    const long number = std::strtol(line.c_str() + prefix.size(), &end, 10);
    Require(number >= 1 && number <= lines && *end == ':');
  }
  Require(messages.empty() || messages.back() == '\n');
}

struct WalkLimits {
  DWORD BufferSize;
  DWORD Count;
  int RecordsLeft;
};

bool Inside(const char* text, const std::vector<char>& buffer, DWORD size) {
  return text == nullptr || (text >= buffer.data() && text + std::strlen(text) < buffer.data() + size);
}

void Walk(NETRESOURCEA* parent, WalkLimits& limits) {
  HANDLE handle = nullptr;
  if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, parent, &handle) != NO_ERROR) return;
  std::vector<char> buffer(limits.BufferSize);
  DWORD count = limits.Count;
  DWORD size = limits.BufferSize;
  for (;;) {
    const DWORD given = size;
    const DWORD result = WNetEnumResourceA(handle, &count, buffer.data(), &size);
    if (result == ERROR_MORE_DATA) {
      Require(size > given);
      buffer.resize(size);
      continue;
    }
    if (result != NO_ERROR) break;
    Require(count >= 1 && count * sizeof(NETRESOURCEA) <= size);
    std::vector<NETRESOURCEA> records(count);
    std::memcpy(records.data(), buffer.data(), count * sizeof(NETRESOURCEA));
    for (DWORD i = 0; i < count; ++i) {
      const NETRESOURCEA& record = records[i];
      for (const char* text : {record.lpLocalName, record.lpRemoteName, record.lpComment, record.lpProvider}) {
        Require(Inside(text, buffer, size));
      }
      if (--limits.RecordsLeft < 0) break;
      // Handed back as the program hands it back: the record in the
      // buffer, as it was written.
      auto* written = reinterpret_cast<NETRESOURCEA*>(buffer.data() + i * sizeof(NETRESOURCEA));
      if (record.dwUsage & RESOURCEUSAGE_CONTAINER) Walk(written, limits);
    }
    if (limits.RecordsLeft < 0) break;
  }
  Require(WNetCloseEnum(handle) == NO_ERROR);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::ostringstream messages;
  std::optional<lan::LanDescription> description = lan::ParseLanDescription(text, "fuzz.json", messages);
  CheckMessages(messages.str(), text);
  if (!description) return 0;

  lan::Lan lan;
  lan.Top = std::move(description->Top);
  lan.Computers = std::move(description->Computers);
  std::ostringstream bound_messages;
  if (!lan::KeepWalkBounded(lan.Top, bound_messages)) return 0;
  standin::UseLanForTesting(std::move(lan), bound_messages);

  // The first bytes choose the buffer and the count the walk asks for.
  WalkLimits limits{16416, 0xFFFFFFFF, 20000};
  if (size >= 2) {
    limits.BufferSize = 1 + data[0] * 4;
    limits.Count = data[1] % 4 == 0 ? 0xFFFFFFFF : data[1] % 4;
  }
  Walk(nullptr, limits);
  Require(standin::OpenEnumerationCount() == 0);
  standin::ClearEnumerationRequests();
  standin::UseEmptyLanForTesting();
  return 0;
}
