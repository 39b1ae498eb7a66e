#include "platform/smb/winreg/session.h"

#include "platform/smb/rpc/status.h"

namespace smb {

DWORD WinregSession::Call(winreg::Opnum opnum, const std::vector<std::uint8_t>& request,
                          std::vector<std::uint8_t>& response) {
  answered_ = false;
  calls_.fetch_add(1, std::memory_order_relaxed);
  return connection_.Call(opnum, request, response);
}

DWORD WinregSession::Answered(DWORD status) {
  answered_ = status != kRpcBadStubData && status != kRpcProtocolError;
  return status;
}

DWORD WinregSession::Connect(HKEY root, ContextHandle& root_handle) {
  if (const DWORD status = connection_.Bind(kWinregSyntax); status != NO_ERROR) return status;
  const winreg::Opnum opnum = root == HKEY_USERS ? winreg::kOpenUsers : winreg::kOpenLocalMachine;
  std::vector<std::uint8_t> response;
  if (const DWORD status = Call(opnum, winreg::EncodeOpenRoot(kMaximumAllowed), response); status != NO_ERROR) {
    return status;
  }
  return Answered(winreg::DecodeHandleReply(response, root_handle));
}

DWORD WinregSession::OpenKey(const ContextHandle& parent, std::u16string_view path, REGSAM access, ContextHandle& key) {
  answered_ = false;
  if (path.size() >= winreg::kLongestName) return ERROR_INVALID_PARAMETER;
  std::vector<std::uint8_t> response;
  if (const DWORD status = Call(winreg::kOpenKey, winreg::EncodeOpenKey(parent, path, access), response);
      status != NO_ERROR) {
    return status;
  }
  return Answered(winreg::DecodeHandleReply(response, key));
}

DWORD WinregSession::CloseKey(const ContextHandle& key) {
  std::vector<std::uint8_t> response;
  if (const DWORD status = Call(winreg::kCloseKey, winreg::EncodeCloseKey(key), response); status != NO_ERROR) {
    return status;
  }
  return Answered(winreg::DecodeCloseReply(response));
}

DWORD WinregSession::EnumKey(const ContextHandle& key, DWORD index, std::u16string& name, FILETIME& last_written) {
  std::vector<std::uint8_t> response;
  if (const DWORD status = Call(winreg::kEnumKey, winreg::EncodeEnumKey(key, index, winreg::kKeyNameRoom), response);
      status != NO_ERROR) {
    return status;
  }
  const DWORD status = winreg::DecodeEnumKeyReply(response, winreg::kKeyNameRoom, name, last_written);
  // The room holds any name that a registry can hold: a server that needs
  // more claims a name beyond the registry's limit.
  return Answered(status == ERROR_MORE_DATA ? kRpcProtocolError : status);
}

DWORD WinregSession::QueryInfoKey(const ContextHandle& key, lan::KeyFacts& facts) {
  std::vector<std::uint8_t> response;
  if (const DWORD status = Call(winreg::kQueryInfoKey, winreg::EncodeQueryInfoKey(key), response); status != NO_ERROR) {
    return status;
  }
  return Answered(winreg::DecodeQueryInfoKeyReply(response, facts));
}

DWORD WinregSession::QueryValue(const ContextHandle& key, std::u16string_view name, std::uint32_t data_room,
                                winreg::ValueReply& reply) {
  answered_ = false;
  if (name.size() >= winreg::kLongestName) return ERROR_INVALID_PARAMETER;
  std::vector<std::uint8_t> response;
  if (const DWORD status = Call(winreg::kQueryValue, winreg::EncodeQueryValue(key, name, data_room), response);
      status != NO_ERROR) {
    return status;
  }
  return Answered(winreg::DecodeQueryValueReply(response, data_room, reply));
}

}  // namespace smb
