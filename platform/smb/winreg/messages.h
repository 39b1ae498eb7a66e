// The stub data of the remote registry calls (MS-RRP, the winreg
// interface) that the client makes: requests built from the arguments,
// replies read back into the call's out-parameters, named as the IDL names
// them without their pointer prefix (lpcSubKeys becomes cSubKeys). Each
// call's IDL signature stands above its pair of functions.
//
// A decoder returns the registry's own status (the call's error_status_t)
// from the end of the reply, RPC_X_BAD_STUB_DATA when the reply does not
// hold what the call returns, or RPC_S_PROTOCOL_ERROR when it holds more
// than the request made room for (a name or data longer than the room
// offered, a key name beyond the registry's limit); its out-parameters are
// written only when the reply was read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/smb/rpc/context_handle.h"
#include "platform/smb/rpc/pdu.h"
#include "platform/windows_api.h"

namespace winreg {

// The interface: 338CD001-2244-31F1-AAAA-900038001003, version 1.0.
extern const rpc::SyntaxId kInterface;

// The opnums of the calls that the client makes.
enum Opnum : std::uint16_t {
  kOpenLocalMachine = 2,
  kOpenUsers = 4,
  kBaseRegCloseKey = 5,
  kBaseRegEnumKey = 9,
  kBaseRegOpenKey = 15,
  kBaseRegQueryInfoKey = 16,
  kBaseRegQueryValue = 17,
};

// Longest name the client sends, in UTF-16 characters with the terminating
// zero: what a 16-bit byte count can describe.
constexpr std::size_t kLongestName = 32767;
// The registry's limit on a key name, in UTF-16 characters.
constexpr std::size_t kLongestKeyName = 255;
// Room for a subkey name, in bytes: the longest key name and its
// terminating zero.
constexpr std::uint16_t kKeyNameRoom = (kLongestKeyName + 1) * 2;

// error_status_t OpenLocalMachine([in, unique] PREGISTRY_SERVER_NAME ServerName,
//                                 [in] REGSAM samDesired, [out] PRPC_HKEY phKey);   opnum 2
// error_status_t OpenUsers(...);  the same parameters                               opnum 4
// No ServerName: servers ignore it.
std::vector<std::uint8_t> EncodeOpenRoot(REGSAM samDesired);
// The reply of either, and of BaseRegOpenKey: *phKey / *phkResult.
DWORD DecodeHandleReply(std::span<const std::uint8_t> stub, rpc::ContextHandle& hKey);

// error_status_t BaseRegOpenKey([in] RPC_HKEY hKey, [in] PRRP_UNICODE_STRING lpSubKey,
//                               [in] DWORD dwOptions, [in] REGSAM samDesired,
//                               [out] PRPC_HKEY phkResult);                          opnum 15
// No options; the reply is DecodeHandleReply's.
std::vector<std::uint8_t> EncodeOpenKey(const rpc::ContextHandle& hKey, std::u16string_view lpSubKey,
                                        REGSAM samDesired);

// error_status_t BaseRegCloseKey([in, out] PRPC_HKEY hKey);                        opnum 5
std::vector<std::uint8_t> EncodeCloseKey(const rpc::ContextHandle& hKey);
DWORD DecodeCloseReply(std::span<const std::uint8_t> stub);

// error_status_t BaseRegEnumKey([in] RPC_HKEY hKey, [in] DWORD dwIndex,
//                               [in] PRRP_UNICODE_STRING lpNameIn, [out] PRRP_UNICODE_STRING lpNameOut,
//                               [in, unique] PRRP_UNICODE_STRING lpClassIn,
//                               [out] PRPC_UNICODE_STRING* lplpClassOut,
//                               [in, out, unique] PFILETIME lpftLastWriteTime);    opnum 9
// lpNameIn offers `name_room` bytes; no class is asked for.
struct EnumKeyReply {
  std::u16string NameOut;
  FILETIME ftLastWriteTime{};
};
std::vector<std::uint8_t> EncodeEnumKey(const rpc::ContextHandle& hKey, DWORD dwIndex, std::uint16_t name_room);
DWORD DecodeEnumKeyReply(std::span<const std::uint8_t> stub, std::uint16_t name_room, EnumKeyReply& reply);

// error_status_t BaseRegQueryInfoKey([in] RPC_HKEY hKey, [in] PRRP_UNICODE_STRING lpClassIn,
//                                    [out] PRPC_UNICODE_STRING lpClassOut,
//                                    [out] LPDWORD lpcSubKeys, [out] LPDWORD lpcbMaxSubKeyLen,
//                                    [out] LPDWORD lpcbMaxClassLen, [out] LPDWORD lpcValues,
//                                    [out] LPDWORD lpcbMaxValueNameLen, [out] LPDWORD lpcbMaxValueLen,
//                                    [out] LPDWORD lpcbSecurityDescriptor,
//                                    [out] PFILETIME lpftLastWriteTime);            opnum 16
// No class is asked for. The lengths of names count UTF-16 characters, that
// of data bytes; what a server says is not checked here.
struct QueryInfoKeyReply {
  DWORD cSubKeys = 0;
  DWORD cbMaxSubKeyLen = 0;
  DWORD cbMaxClassLen = 0;
  DWORD cValues = 0;
  DWORD cbMaxValueNameLen = 0;
  DWORD cbMaxValueLen = 0;
  DWORD cbSecurityDescriptor = 0;
  FILETIME ftLastWriteTime{};
};
std::vector<std::uint8_t> EncodeQueryInfoKey(const rpc::ContextHandle& hKey);
DWORD DecodeQueryInfoKeyReply(std::span<const std::uint8_t> stub, QueryInfoKeyReply& reply);

// error_status_t BaseRegQueryValue([in] RPC_HKEY hKey, [in] PRRP_UNICODE_STRING lpValueName,
//                                  [in, out, unique] LPDWORD lpType,
//                                  [in, out, unique, size_is(...), length_is(...)] LPBYTE lpData,
//                                  [in, out, unique] LPDWORD lpcbData,
//                                  [in, out, unique] LPDWORD lpcbLen);             opnum 17
// lpData offers `data_room` bytes (none: only the type and size are asked
// for).
struct QueryValueReply {
  DWORD Type = REG_NONE;
  // The value's size as stored; on ERROR_MORE_DATA the room it needs.
  DWORD cbData = 0;
  // lpData came back with the whole value (all cbData bytes of it).
  bool HasData = false;
  std::string Data;
};
std::vector<std::uint8_t> EncodeQueryValue(const rpc::ContextHandle& hKey, std::u16string_view lpValueName,
                                           std::uint32_t data_room);
// Also fills `reply` on ERROR_MORE_DATA, whose reply carries the size.
DWORD DecodeQueryValueReply(std::span<const std::uint8_t> stub, std::uint32_t data_room, QueryValueReply& reply);

}  // namespace winreg
