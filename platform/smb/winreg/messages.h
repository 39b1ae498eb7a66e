// The stub data of the winreg calls that the registry client makes:
// requests built from the arguments, replies read back into them. A
// decoder returns the registry's own status (WERROR) from the end of the
// reply, RPC_X_BAD_STUB_DATA when the reply does not hold what the call
// returns, or RPC_S_PROTOCOL_ERROR when it holds more than the request
// made room for (a name or data longer than the room offered, a key name
// beyond the registry's limit); its out-parameters are written only when
// the reply was read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/lan_source.h"
#include "platform/smb/rpc/ndr_writer.h"

namespace smb::winreg {

enum Opnum : std::uint16_t {
  kOpenLocalMachine = 2,
  kOpenUsers = 4,
  kCloseKey = 5,
  kEnumKey = 9,
  kOpenKey = 15,
  kQueryInfoKey = 16,
  kQueryValue = 17,
};

// Longest name the client sends, in UTF-16 characters with the terminating
// zero: what a 16-bit byte count can describe.
constexpr std::size_t kLongestName = 32767;
// The registry's limit on a key name, in UTF-16 characters.
constexpr std::size_t kLongestKeyName = 255;
// Room for a subkey name, in bytes: the longest key name and its
// terminating zero.
constexpr std::uint16_t kKeyNameRoom = (kLongestKeyName + 1) * 2;

// OpenLocalMachine / OpenUsers: no server name, then the access wanted.
std::vector<std::uint8_t> EncodeOpenRoot(REGSAM access);
DWORD DecodeHandleReply(std::span<const std::uint8_t> stub, ContextHandle& handle);

std::vector<std::uint8_t> EncodeOpenKey(const ContextHandle& parent, std::u16string_view path, REGSAM access);
// BaseRegOpenKey's reply is the same handle and status as an open of a root.

std::vector<std::uint8_t> EncodeCloseKey(const ContextHandle& key);
DWORD DecodeCloseReply(std::span<const std::uint8_t> stub);

// BaseRegEnumKey with room for a name of `name_room` bytes.
std::vector<std::uint8_t> EncodeEnumKey(const ContextHandle& key, DWORD index, std::uint16_t name_room);
DWORD DecodeEnumKeyReply(std::span<const std::uint8_t> stub, std::uint16_t name_room, std::u16string& name,
                         FILETIME& last_written);

std::vector<std::uint8_t> EncodeQueryInfoKey(const ContextHandle& key);
DWORD DecodeQueryInfoKeyReply(std::span<const std::uint8_t> stub, lan::KeyFacts& facts);

// BaseRegQueryValue with room for `data_room` bytes of data (none: only
// the type and size are asked for).
std::vector<std::uint8_t> EncodeQueryValue(const ContextHandle& key, std::u16string_view name, std::uint32_t data_room);

struct ValueReply {
  DWORD Type = REG_NONE;
  // The value's size as stored; on ERROR_MORE_DATA the room it needs.
  DWORD Size = 0;
  // The data, when the reply carried it (all `Size` bytes of it).
  bool HasData = false;
  std::string Data;
};
// The reply to a query with room for `data_room` bytes. Also fills
// `reply` on ERROR_MORE_DATA, whose reply carries the size.
DWORD DecodeQueryValueReply(std::span<const std::uint8_t> stub, std::uint32_t data_room, ValueReply& reply);

}  // namespace smb::winreg
