#include "registry/registry.h"

#include <cstring>
#include <string>
#include <utility>

#include "registry/startup_facts.h"

namespace {

// A handle that the accessor has received but not yet taken over; closed
// if anything goes wrong before it is.
class PendingKey {
 public:
  explicit PendingKey(HKEY handle) : handle_(handle) {}
  PendingKey(const PendingKey&) = delete;
  PendingKey& operator=(const PendingKey&) = delete;
  ~PendingKey() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }
  HKEY Release() { return std::exchange(handle_, nullptr); }

 private:
  HKEY handle_;
};

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

TRegistry::~TRegistry() {
  LeaveKey();
  if (owns_root_) RegCloseKey(root_handle_);
}

void TRegistry::SelectRoot(HKEY root) {
  if (root == root_handle_) return;
  if (owns_root_) {
    RegCloseKey(root_handle_);
    owns_root_ = false;
  }
  root_handle_ = root;
  LeaveKey();
}

bool TRegistry::ConnectMachine(const Text& machine) {
  HKEY handle = nullptr;
  if (RegConnectRegistryA(machine.c_str(), root_handle_, &handle) != ERROR_SUCCESS) return false;
  SelectRoot(handle);
  owns_root_ = true;
  return true;
}

HKEY TRegistry::StartingKey(bool relative) const {
  return open_handle_ != nullptr && relative ? open_handle_ : root_handle_;
}

bool TRegistry::EnterKey(const Text& path, bool may_create) {
  const bool relative = path.empty() || path.front() != '\\';
  const Text remaining = relative ? path : path.substr(1);
  const HKEY start = StartingKey(relative);
  HKEY handle = nullptr;
  LONG status;
  if (may_create && !remaining.empty()) {
    DWORD disposition = 0;
    status = RegCreateKeyExA(start, remaining.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_rights_, nullptr,
                             &handle, &disposition);
  } else {
    status = RegOpenKeyExA(start, remaining.c_str(), 0, access_rights_, &handle);
  }
  if (status != ERROR_SUCCESS) return false;
  PendingKey opened(handle);
  Text new_path = open_handle_ != nullptr && relative ? JoinTexts(JoinTexts(open_path_, "\\"), remaining) : remaining;
  AdoptKey(opened.Release(), std::move(new_path));
  return true;
}

void TRegistry::AdoptKey(HKEY handle, Text path) {
  LeaveKey();
  open_handle_ = handle;
  open_path_ = std::move(path);
}

void TRegistry::LeaveKey() {
  if (open_handle_ == nullptr) return;
  if (!defer_flush_) RegFlushKey(open_handle_);
  RegCloseKey(open_handle_);
  open_handle_ = nullptr;
  open_path_.clear();
}

bool TRegistry::DescribeKey(TKeySummary& summary) {
  summary = TKeySummary{};
  const LONG status = RegQueryInfoKeyA(open_handle_, nullptr, nullptr, nullptr, &summary.SubkeyCount,
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
    LONG status = RegEnumKeyExA(open_handle_, index, name.data(), &room, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
      list.Add(Text(name.data(), strnlen(name.data(), capacity)));
      continue;
    }
    if (status != static_cast<LONG>(ERROR_MORE_DATA)) continue;
    if (large_name.empty()) large_name.assign(LargestKeyNameCapacity(), '\0');
    room = static_cast<DWORD>(large_name.size());
    status = RegEnumKeyExA(open_handle_, index, large_name.data(), &room, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) list.Add(Text(large_name.data(), strnlen(large_name.data(), large_name.size())));
  }
}

bool TRegistry::DescribeValue(const Text& name, TValueFacts& facts) {
  facts = TValueFacts{};
  DWORD type = REG_NONE;
  const LONG status = RegQueryValueExA(open_handle_, name.c_str(), nullptr, &type, nullptr, &facts.Size);
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
  if (RegQueryValueExA(open_handle_, name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size) !=
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
