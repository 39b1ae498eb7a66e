#include "platform/smb/winreg/session.h"

#include "platform/smb/rpc/status.h"

namespace winreg {

template <class Decode>
DWORD Session::Exchange(Opnum opnum, const std::vector<std::uint8_t>& request, Decode decode) {
  answered_ = false;
  calls_.fetch_add(1, std::memory_order_relaxed);
  std::vector<std::uint8_t> response;
  if (const DWORD status = connection_.Call(opnum, request, response); status != NO_ERROR) return status;
  const DWORD status = decode(response);
  answered_ = status != rpc::kRpcBadStubData && status != rpc::kRpcProtocolError;
  return status;
}

DWORD Session::Connect(HKEY root, rpc::ContextHandle& root_handle) {
  if (const DWORD status = connection_.Bind(kInterface); status != NO_ERROR) return status;
  return Exchange(root == HKEY_USERS ? kOpenUsers : kOpenLocalMachine, EncodeOpenRoot(kMaximumAllowed),
                  [&](std::span<const std::uint8_t> stub) { return DecodeHandleReply(stub, root_handle); });
}

DWORD Session::OpenKey(const rpc::ContextHandle& parent, std::u16string_view path, REGSAM access,
                       rpc::ContextHandle& key) {
  answered_ = false;
  if (path.size() >= kLongestName) return ERROR_INVALID_PARAMETER;
  return Exchange(kBaseRegOpenKey, EncodeOpenKey(parent, path, access),
                  [&](std::span<const std::uint8_t> stub) { return DecodeHandleReply(stub, key); });
}

DWORD Session::CloseKey(const rpc::ContextHandle& key) {
  return Exchange(kBaseRegCloseKey, EncodeCloseKey(key), DecodeCloseReply);
}

DWORD Session::EnumKey(const rpc::ContextHandle& key, DWORD index, EnumKeyReply& reply) {
  return Exchange(kBaseRegEnumKey, EncodeEnumKey(key, index, kKeyNameRoom), [&](std::span<const std::uint8_t> stub) {
    const DWORD status = DecodeEnumKeyReply(stub, kKeyNameRoom, reply);
    // The room holds any name that a registry can hold: a server that needs
    // more claims a name beyond the registry's limit.
    return status == ERROR_MORE_DATA ? rpc::kRpcProtocolError : status;
  });
}

DWORD Session::QueryInfoKey(const rpc::ContextHandle& key, QueryInfoKeyReply& reply) {
  return Exchange(kBaseRegQueryInfoKey, EncodeQueryInfoKey(key),
                  [&](std::span<const std::uint8_t> stub) { return DecodeQueryInfoKeyReply(stub, reply); });
}

DWORD Session::QueryValue(const rpc::ContextHandle& key, std::u16string_view name, std::uint32_t data_room,
                          QueryValueReply& reply) {
  answered_ = false;
  if (name.size() >= kLongestName) return ERROR_INVALID_PARAMETER;
  return Exchange(kBaseRegQueryValue, EncodeQueryValue(key, name, data_room),
                  [&](std::span<const std::uint8_t> stub) { return DecodeQueryValueReply(stub, data_room, reply); });
}

}  // namespace winreg
