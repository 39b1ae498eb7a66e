#include "registry/registry.h"

#include <cstring>
#include <string>
#include <utility>

#include "registry/startup_facts.h"

namespace {

// Room for any key name: 255 characters of the ANSI code page's widest
// size each, and the terminating zero.
DWORD LargestKeyNameCapacity() {
  CPINFO info{};
  const UINT widest = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 0 ? info.MaxCharSize : 4;
  return 255 * widest + 1;
}

}  // namespace

TValueKind ValueKindOf(DWORD registry_type) {
  switch (registry_type) {
    case REG_SZ:
      return TValueKind::vkText;
    case REG_EXPAND_SZ:
      return TValueKind::vkExpandText;
    case REG_DWORD:
      return TValueKind::vkInteger;
    case REG_BINARY:
      return TValueKind::vkBinary;
    default:
      return TValueKind::vkOther;
  }
}

TRegistry::TRegistry() {
  SelectRoot(HKEY_CURRENT_USER);
  access_rights_ = KEY_ALL_ACCESS;
  defer_flush_ = true;
}

// The open key is left (and flushed) before the connection closes.
TRegistry::~TRegistry() { LeaveKey(); }

void TRegistry::SelectRoot(HKEY root) {
  if (root == root_handle_) return;
  connection_.Reset();
  root_handle_ = root;
  LeaveKey();
}

bool TRegistry::ConnectMachine(const Text& machine) {
  OwnedKey connection;
  if (RegConnectRegistryA(machine.c_str(), root_handle_, connection.Out()) != ERROR_SUCCESS) return false;
  SelectRoot(connection.Get());
  connection_ = std::move(connection);
  return true;
}

HKEY TRegistry::StartingKey(bool relative) const {
  return open_key_.Get() != nullptr && relative ? open_key_.Get() : root_handle_;
}

bool TRegistry::EnterKey(const Text& path, bool may_create) {
  const bool relative = path.empty() || path.front() != '\\';
  const Text remaining = relative ? path : path.substr(1);
  const HKEY start = StartingKey(relative);
  OwnedKey opened;
  LONG status;
  if (may_create && !remaining.empty()) {
    DWORD disposition = 0;
    status = RegCreateKeyExA(start, remaining.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_rights_, nullptr,
                             opened.Out(), &disposition);
  } else {
    status = RegOpenKeyExA(start, remaining.c_str(), 0, access_rights_, opened.Out());
  }
  if (status != ERROR_SUCCESS) return false;
  Text new_path =
      open_key_.Get() != nullptr && relative ? JoinTexts(JoinTexts(open_path_, "\\"), remaining) : remaining;
  AdoptKey(std::move(opened), std::move(new_path));
  return true;
}

void TRegistry::AdoptKey(OwnedKey key, Text path) {
  LeaveKey();
  open_key_ = std::move(key);
  open_path_ = std::move(path);
}

void TRegistry::LeaveKey() {
  if (open_key_.Get() == nullptr) return;
  if (!defer_flush_) RegFlushKey(open_key_.Get());
  open_key_.Reset();
  open_path_.clear();
}

bool TRegistry::DescribeKey(TKeySummary& summary) {
  summary = TKeySummary{};
  const LONG status = RegQueryInfoKeyA(open_key_.Get(), nullptr, nullptr, nullptr, &summary.SubkeyCount,
                                       &summary.LongestSubkeyName, nullptr, &summary.ValueCount,
                                       &summary.LongestValueName, &summary.LongestData, nullptr, &summary.LastWritten);
  // The platform counts UTF-16 characters; a double-byte ANSI name can
  // take two bytes for each.
  if (PlatformIdentifier == VER_PLATFORM_WIN32_NT && DoubleByteLocale) {
    summary.LongestSubkeyName *= 2;
    summary.LongestValueName *= 2;
  }
  return status == ERROR_SUCCESS;
}

// A name whose call fails is skipped: the key may have lost or renamed a
// subkey since it was described. A name longer than the buffer is tried
// once more with room for any key name, since the length that the key
// reports counts UTF-16 characters, which a multi-byte ANSI code page can
// exceed in bytes.
void TRegistry::ListSubkeys(TStringList& list) {
  list.Clear();
  TKeySummary summary;
  if (!DescribeKey(summary)) return;
  const DWORD capacity = summary.LongestSubkeyName + 1;
  std::string name(capacity, '\0');
  std::string large_name;
  for (DWORD index = 0; index < summary.SubkeyCount; ++index) {
    DWORD room = capacity;
    LONG status = RegEnumKeyExA(open_key_.Get(), index, name.data(), &room, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
      list.Add(Text(name.data(), strnlen(name.data(), capacity)));
      continue;
    }
    if (status != static_cast<LONG>(ERROR_MORE_DATA)) continue;
    if (large_name.empty()) large_name.assign(LargestKeyNameCapacity(), '\0');
    room = static_cast<DWORD>(large_name.size());
    status = RegEnumKeyExA(open_key_.Get(), index, large_name.data(), &room, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) list.Add(Text(large_name.data(), strnlen(large_name.data(), large_name.size())));
  }
}

bool TRegistry::DescribeValue(const Text& name, TValueFacts& facts) {
  facts = TValueFacts{};
  DWORD type = REG_NONE;
  const LONG status = RegQueryValueExA(open_key_.Get(), name.c_str(), nullptr, &type, nullptr, &facts.Size);
  facts.Kind = ValueKindOf(type);
  return status == ERROR_SUCCESS;
}

std::int32_t TRegistry::ValueSize(const Text& name) {
  TValueFacts facts;
  return DescribeValue(name, facts) ? static_cast<std::int32_t>(facts.Size) : -1;
}

bool TRegistry::HasValue(const Text& name) {
  TValueFacts facts;
  return DescribeValue(name, facts);
}

std::int32_t TRegistry::FetchValue(const Text& name, void* buffer, std::int32_t buffer_size, TValueKind& kind) {
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(buffer_size);
  if (RegQueryValueExA(open_key_.Get(), name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    Raise(ERegistryException("Failed to get data for '%s'", {name}));
  }
  kind = ValueKindOf(type);
  return static_cast<std::int32_t>(size);
}

Text TRegistry::ReadText(const Text& name) {
  const std::int32_t size = ValueSize(name);
  if (size <= 0) return Text();
  // The data and a zero byte behind them, so that text stored without its
  // terminating zero still ends.
  std::string buffer(static_cast<std::size_t>(size) + 1, '\0');
  TValueKind kind = TValueKind::vkOther;
  FetchValue(name, buffer.data(), size, kind);
  if (kind != TValueKind::vkText && kind != TValueKind::vkExpandText) {
    Raise(ERegistryException("Invalid data type for '%s'", {name}));
  }
  return TextFromCString(buffer.data());
}
