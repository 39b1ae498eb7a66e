// Values: RegQueryValueExA, RegSetValueExA, RegDeleteValueA. The data of
// string types are ANSI text here: a LAN computer's UTF-16 data are
// converted (code_pages.h, AnsiFromStringData), and sizes are those of the
// ANSI data.
#include <cstring>
#include <string>
#include <string_view>

#include "platform/standin/locale/code_pages.h"
#include "platform/standin/registry/registry_access.h"
#include "platform/standin/registry/registry_control.h"
#include "platform/value_types.h"

namespace {

using standin::LanKey;
using standin::LocalKey;
using standin::OpenKey;
using standin::RegistryValue;
using standin::Status;

// A value of a LAN computer's key: its type, its data in ANSI when
// `want_data`, and their size when `want_size` or `want_data`. The size
// that the ANSI function reports is that of the ANSI data, which only the
// data tell; when they cannot be fetched, string data count one byte for
// each UTF-16 unit. `data` views one of the LAN buffers (LanScratch).
LONG QueryLanValue(const LanKey& key, const char* name, bool want_data, bool want_size, DWORD& type, DWORD& size,
                   std::string_view& data) {
  lan::RemoteRegistry& registry = key.Connection->Registry();
  standin::LanBuffers& buffers = standin::LanScratch();
  standin::Utf16FromAnsi(name, buffers.Wide);
  const std::u16string_view wide_name = buffers.Wide;
  DWORD stored_size = 0;
  DWORD status = registry.QueryValue(key.Key, wide_name, want_data, type, stored_size, buffers.Stored);
  if (status != NO_ERROR) return Status(status);
  if (!IsStringType(type)) {
    size = stored_size;
    if (want_data) data = buffers.Stored;
    return ERROR_SUCCESS;
  }
  if (!want_data) {
    if (!want_size) return ERROR_SUCCESS;
    DWORD fetched_type = REG_NONE;
    status = registry.QueryValue(key.Key, wide_name, true, fetched_type, stored_size, buffers.Stored);
    if (status != NO_ERROR) {
      size = stored_size / sizeof(char16_t);
      return ERROR_SUCCESS;
    }
  }
  standin::AnsiFromStringData(buffers.Stored, buffers.Ansi);
  data = buffers.Ansi;
  size = static_cast<DWORD>(data.size());
  return ERROR_SUCCESS;
}

}  // namespace

namespace standin {

LONG StoreRegistryValueForTesting(HKEY key, std::string_view name, DWORD type, std::string data) {
  OpenKey open;
  if (const LONG status = Resolve(key, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  const auto* local = std::get_if<LocalKey>(&open.Target);
  if (local == nullptr) return Status(ERROR_ACCESS_DENIED);
  local->Key->SetValue(name, type, std::move(data));
  return ERROR_SUCCESS;
}

}  // namespace standin

// The data of string types are the ANSI text as stored: no terminating
// zero is added or removed.
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  OpenKey open;
  if (const LONG status = standin::Resolve(hKey, KEY_QUERY_VALUE, open); status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return Status(ERROR_INVALID_PARAMETER);
  const char* name = lpValueName == nullptr ? "" : lpValueName;
  DWORD type = REG_NONE;
  DWORD size = 0;
  std::string_view data;
  if (const auto* lan_key = std::get_if<LanKey>(&open.Target)) {
    const LONG status = QueryLanValue(*lan_key, name, lpData != nullptr, lpcbData != nullptr, type, size, data);
    if (status != ERROR_SUCCESS) return status;
  } else {
    const RegistryValue* value = std::get<LocalKey>(open.Target).Key->Value(name);
    if (value == nullptr) return Status(ERROR_FILE_NOT_FOUND);
    if (lpData != nullptr && value->FetchError) return Status(*value->FetchError);
    type = value->Type;
    size = static_cast<DWORD>(value->Data.size());
    if (lpData != nullptr) data = value->Data;
  }
  if (lpType != nullptr) *lpType = type;
  if (lpData != nullptr) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return Status(ERROR_MORE_DATA);
    }
    // Registry data is handed out as stored: no terminating zero is added.
    std::memcpy(lpData, data.data(), size);  // NOLINT(bugprone-not-null-terminated-result)
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

// String data whose last byte is not zero get one terminating zero, as
// Windows' ANSI function adds it; empty data stay empty. Data stored
// without a terminator (by a Unicode program, or from an export file)
// still come back as stored.
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  OpenKey open;
  if (const LONG status = standin::Resolve(hKey, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  const auto* local = std::get_if<LocalKey>(&open.Target);
  if (local == nullptr) return Status(ERROR_ACCESS_DENIED);
  if (lpData == nullptr && cbData != 0) return Status(ERROR_NOACCESS);
  std::string data = cbData == 0 ? std::string() : std::string(reinterpret_cast<const char*>(lpData), cbData);
  if (IsStringType(dwType) && !data.empty() && data.back() != '\0') data.push_back('\0');
  local->Key->SetValue(lpValueName == nullptr ? "" : lpValueName, dwType, std::move(data));
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  OpenKey open;
  if (const LONG status = standin::Resolve(hKey, KEY_SET_VALUE, open); status != ERROR_SUCCESS) return status;
  const auto* local = std::get_if<LocalKey>(&open.Target);
  if (local == nullptr) return Status(ERROR_ACCESS_DENIED);
  if (!local->Key->RemoveValue(lpValueName == nullptr ? "" : lpValueName)) return Status(ERROR_FILE_NOT_FOUND);
  return ERROR_SUCCESS;
}
