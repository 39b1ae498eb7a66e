#include "platform/smb/winreg/messages.h"

#include "platform/smb/rpc/ndr_reader.h"
#include "platform/smb/rpc/status.h"

namespace smb::winreg {
namespace {

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

std::vector<std::uint8_t> EncodeOpenRoot(REGSAM access) {
  NdrWriter writer;
  writer.Pointer(false);  // the server name, which servers ignore
  writer.U32(access);
  return writer.Take();
}

DWORD DecodeHandleReply(std::span<const std::uint8_t> stub, ContextHandle& handle) {
  NdrReader reader(stub);
  const ContextHandle read = reader.Handle();
  const DWORD status = FinishReply(reader);
  if (status == NO_ERROR) handle = read;
  return status;
}

std::vector<std::uint8_t> EncodeOpenKey(const ContextHandle& parent, std::u16string_view path, REGSAM access) {
  NdrWriter writer;
  writer.Handle(parent);
  writer.CountedString(path, true);
  writer.U32(0);  // options
  writer.U32(access);
  return writer.Take();
}

std::vector<std::uint8_t> EncodeCloseKey(const ContextHandle& key) {
  NdrWriter writer;
  writer.Handle(key);
  return writer.Take();
}

DWORD DecodeCloseReply(std::span<const std::uint8_t> stub) {
  NdrReader reader(stub);
  reader.Handle();
  return FinishReply(reader);
}

std::vector<std::uint8_t> EncodeEnumKey(const ContextHandle& key, DWORD index, std::uint16_t name_room) {
  NdrWriter writer;
  writer.Handle(key);
  writer.U32(index);
  writer.EmptyCountedString(name_room);
  // The class is not wanted: a class argument with no room.
  writer.Pointer(true);
  writer.EmptyCountedString(0);
  // Room for the last write time.
  writer.Pointer(true);
  writer.U32(0);
  writer.U32(0);
  return writer.Take();
}

DWORD DecodeEnumKeyReply(std::span<const std::uint8_t> stub, std::uint16_t name_room, std::u16string& name,
                         FILETIME& last_written) {
  NdrReader reader(stub);
  bool too_long = false;
  std::u16string read_name = reader.CountedString(name_room / 2, too_long);
  if (reader.Pointer()) reader.CountedString();  // the class
  FILETIME time{};
  if (reader.Pointer()) time = ReadFiletime(reader);
  DWORD status = FinishReply(reader);
  if (status != kRpcBadStubData && (too_long || read_name.size() > kLongestKeyName)) status = kRpcProtocolError;
  if (status == NO_ERROR) {
    name = std::move(read_name);
    last_written = time;
  }
  return status;
}

std::vector<std::uint8_t> EncodeQueryInfoKey(const ContextHandle& key) {
  NdrWriter writer;
  writer.Handle(key);
  writer.EmptyCountedString(0);  // the class is not wanted
  return writer.Take();
}

DWORD DecodeQueryInfoKeyReply(std::span<const std::uint8_t> stub, lan::KeyFacts& facts) {
  NdrReader reader(stub);
  reader.CountedString();  // the class
  lan::KeyFacts read;
  read.SubkeyCount = reader.U32();
  read.LongestSubkeyName = reader.U32();
  reader.U32();  // longest class
  read.ValueCount = reader.U32();
  read.LongestValueName = reader.U32();
  read.LongestValueData = reader.U32();
  reader.U32();  // security descriptor size
  read.LastWritten = ReadFiletime(reader);
  const DWORD status = FinishReply(reader);
  if (status == NO_ERROR) facts = read;
  return status;
}

std::vector<std::uint8_t> EncodeQueryValue(const ContextHandle& key, std::u16string_view name,
                                           std::uint32_t data_room) {
  NdrWriter writer;
  writer.Handle(key);
  writer.CountedString(name, true);
  writer.Pointer(true);  // the type
  writer.U32(0);
  writer.Pointer(data_room != 0);  // the data
  if (data_room != 0) writer.ArrayHeader(data_room, 0);
  writer.Pointer(true);  // the data's room, and on return its size
  writer.U32(data_room);
  writer.Pointer(true);  // the length sent
  writer.U32(0);
  return writer.Take();
}

DWORD DecodeQueryValueReply(std::span<const std::uint8_t> stub, std::uint32_t data_room, ValueReply& reply) {
  NdrReader reader(stub);
  ValueReply read;
  if (reader.Pointer()) read.Type = reader.U32();
  std::span<const std::uint8_t> data;
  const bool has_data = reader.Pointer();
  if (has_data) data = reader.Array(1);
  bool has_size = false;
  if (reader.Pointer()) {
    read.Size = reader.U32();
    has_size = true;
  }
  std::uint32_t length = 0;
  if (reader.Pointer()) length = reader.U32();
  const DWORD status = FinishReply(reader);
  if (status == kRpcBadStubData) return status;
  if (data.size() > data_room || length > data_room) return kRpcProtocolError;
  if (status != NO_ERROR && status != ERROR_MORE_DATA) return status;
  if (!has_size) return kRpcBadStubData;
  if (status == NO_ERROR && has_data && length != 0) {
    // The data sent must be the whole value.
    if (length != read.Size || data.size() != read.Size) return kRpcBadStubData;
    read.HasData = true;
    read.Data.assign(data.begin(), data.end());
  } else if (status == NO_ERROR && read.Size == 0) {
    read.HasData = true;
  }
  reply = std::move(read);
  return status;
}

}  // namespace smb::winreg
