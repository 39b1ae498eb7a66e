#include "platform/smb/winreg/messages.h"

#include "platform/smb/rpc/ndr_reader.h"
#include "platform/smb/rpc/ndr_writer.h"
#include "platform/smb/rpc/status.h"

namespace winreg {
namespace {

using rpc::ContextHandle;
using rpc::kRpcBadStubData;
using rpc::kRpcProtocolError;
using rpc::NdrReader;
using rpc::NdrWriter;

// The status that ends every reply, once the reader has read the rest.
DWORD FinishReply(NdrReader& reader) {
  const std::uint32_t status = reader.U32();
  // Up to 7 bytes of padding may follow, as some servers pad the stub to a
  // multiple of 8; more than that means the reply is not what was asked.
  if (reader.Failed() || reader.Remaining() >= 8) return kRpcBadStubData;
  return status;
}

FILETIME ReadFiletime(NdrReader& reader) {
  FILETIME time{};
  time.dwLowDateTime = reader.U32();
  time.dwHighDateTime = reader.U32();
  return time;
}

}  // namespace

const rpc::SyntaxId kInterface{
    {0x01, 0xd0, 0x8c, 0x33, 0x44, 0x22, 0xf1, 0x31, 0xaa, 0xaa, 0x90, 0x00, 0x38, 0x00, 0x10, 0x03}, 1};

std::vector<std::uint8_t> EncodeOpenRoot(REGSAM samDesired) {
  NdrWriter writer;
  writer.Pointer(false);  // ServerName
  writer.U32(samDesired);
  return writer.Take();
}

DWORD DecodeHandleReply(std::span<const std::uint8_t> stub, ContextHandle& hKey) {
  NdrReader reader(stub);
  const ContextHandle read = reader.Handle();
  const DWORD status = FinishReply(reader);
  if (status == NO_ERROR) hKey = read;
  return status;
}

std::vector<std::uint8_t> EncodeOpenKey(const ContextHandle& hKey, std::u16string_view lpSubKey, REGSAM samDesired) {
  NdrWriter writer;
  writer.Handle(hKey);
  writer.CountedString(lpSubKey, true);
  writer.U32(0);  // dwOptions
  writer.U32(samDesired);
  return writer.Take();
}

std::vector<std::uint8_t> EncodeCloseKey(const ContextHandle& hKey) {
  NdrWriter writer;
  writer.Handle(hKey);
  return writer.Take();
}

DWORD DecodeCloseReply(std::span<const std::uint8_t> stub) {
  NdrReader reader(stub);
  reader.Handle();
  return FinishReply(reader);
}

std::vector<std::uint8_t> EncodeEnumKey(const ContextHandle& hKey, DWORD dwIndex, std::uint16_t name_room) {
  NdrWriter writer;
  writer.Handle(hKey);
  writer.U32(dwIndex);
  writer.EmptyCountedString(name_room);  // lpNameIn
  // lpClassIn: the class is not wanted, a string with no room.
  writer.Pointer(true);
  writer.EmptyCountedString(0);
  // lpftLastWriteTime: room for the time.
  writer.Pointer(true);
  writer.U32(0);
  writer.U32(0);
  return writer.Take();
}

DWORD DecodeEnumKeyReply(std::span<const std::uint8_t> stub, std::uint16_t name_room, EnumKeyReply& reply) {
  NdrReader reader(stub);
  bool too_long = false;
  EnumKeyReply read;
  read.NameOut = reader.CountedString(name_room / 2, too_long);
  if (reader.Pointer()) reader.CountedString();  // *lplpClassOut
  if (reader.Pointer()) read.ftLastWriteTime = ReadFiletime(reader);
  DWORD status = FinishReply(reader);
  if (status != kRpcBadStubData && (too_long || read.NameOut.size() > kLongestKeyName)) status = kRpcProtocolError;
  if (status == NO_ERROR) reply = std::move(read);
  return status;
}

std::vector<std::uint8_t> EncodeQueryInfoKey(const ContextHandle& hKey) {
  NdrWriter writer;
  writer.Handle(hKey);
  writer.EmptyCountedString(0);  // lpClassIn: the class is not wanted
  return writer.Take();
}

DWORD DecodeQueryInfoKeyReply(std::span<const std::uint8_t> stub, QueryInfoKeyReply& reply) {
  NdrReader reader(stub);
  reader.CountedString();  // lpClassOut
  QueryInfoKeyReply read;
  read.cSubKeys = reader.U32();
  read.cbMaxSubKeyLen = reader.U32();
  read.cbMaxClassLen = reader.U32();
  read.cValues = reader.U32();
  read.cbMaxValueNameLen = reader.U32();
  read.cbMaxValueLen = reader.U32();
  read.cbSecurityDescriptor = reader.U32();
  read.ftLastWriteTime = ReadFiletime(reader);
  const DWORD status = FinishReply(reader);
  if (status == NO_ERROR) reply = read;
  return status;
}

std::vector<std::uint8_t> EncodeQueryValue(const ContextHandle& hKey, std::u16string_view lpValueName,
                                           std::uint32_t data_room) {
  NdrWriter writer;
  writer.Handle(hKey);
  writer.CountedString(lpValueName, true);
  writer.Pointer(true);  // lpType
  writer.U32(0);
  writer.Pointer(data_room != 0);  // lpData
  if (data_room != 0) writer.ArrayHeader(data_room, 0);
  writer.Pointer(true);  // lpcbData: the data's room, and on return its size
  writer.U32(data_room);
  writer.Pointer(true);  // lpcbLen: the length sent
  writer.U32(0);
  return writer.Take();
}

DWORD DecodeQueryValueReply(std::span<const std::uint8_t> stub, std::uint32_t data_room, QueryValueReply& reply) {
  NdrReader reader(stub);
  QueryValueReply read;
  if (reader.Pointer()) read.Type = reader.U32();
  std::span<const std::uint8_t> data;
  const bool has_data = reader.Pointer();
  if (has_data) data = reader.Array(1);
  bool has_size = false;
  if (reader.Pointer()) {
    read.cbData = reader.U32();
    has_size = true;
  }
  std::uint32_t cbLen = 0;
  if (reader.Pointer()) cbLen = reader.U32();
  const DWORD status = FinishReply(reader);
  if (status == kRpcBadStubData) return status;
  if (data.size() > data_room || cbLen > data_room) return kRpcProtocolError;
  if (status != NO_ERROR && status != ERROR_MORE_DATA) return status;
  if (!has_size) return kRpcBadStubData;
  if (status == NO_ERROR && has_data && cbLen != 0) {
    // The data sent must be the whole value.
    if (cbLen != read.cbData || data.size() != read.cbData) return kRpcBadStubData;
    read.HasData = true;
    read.Data.assign(data.begin(), data.end());
  } else if (status == NO_ERROR && read.cbData == 0) {
    read.HasData = true;
  }
  reply = std::move(read);
  return status;
}

}  // namespace winreg
