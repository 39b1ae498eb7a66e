#include "tests/support/fake_winreg_server.h"

#include <algorithm>
#include <deque>
#include <thread>

#include "platform/smb/rpc/ndr_reader.h"
#include "platform/smb/rpc/ndr_writer.h"
#include "platform/smb/rpc/pdu.h"
#include "tests/support/uninstall_listing.h"

namespace smbtest {
namespace {

using rpc::ContextHandle;
using rpc::NdrReader;
using rpc::NdrWriter;

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::vector<std::uint8_t> Header(rpc::PduType type, std::uint8_t flags, std::uint32_t call_id) {
  std::vector<std::uint8_t> pdu{5, 0, static_cast<std::uint8_t>(type), flags, 0x10, 0, 0, 0, 0, 0, 0, 0};
  PutU32(pdu, call_id);
  return pdu;
}

void Finish(std::vector<std::uint8_t>& pdu) {
  pdu[8] = static_cast<std::uint8_t>(pdu.size());
  pdu[9] = static_cast<std::uint8_t>(pdu.size() >> 8);
}

std::string HandleKey(const ContextHandle& handle) { return std::string(handle.Bytes.begin(), handle.Bytes.end()); }

std::u16string Join(const std::u16string& parent, const std::u16string& child) {
  if (parent.empty()) return child;
  if (child.empty()) return parent;
  return parent + u"\\" + child;
}

std::string Utf16(std::u16string_view text, bool terminate) {
  std::string bytes;
  for (char16_t character : text) {
    bytes.push_back(static_cast<char>(character & 0xFF));
    bytes.push_back(static_cast<char>(character >> 8));
  }
  if (terminate) bytes.append(2, '\0');
  return bytes;
}

class FakePipe : public rpc::MessagePipe {
 public:
  explicit FakePipe(FakeWinregServer& server) : server_(server) {}

  DWORD Write(std::span<const std::uint8_t> message) override {
    Wait();
    if (server_.Dead()) {
      server_.CountUseAfterDeath();
      return ERROR_BROKEN_PIPE;
    }
    if (message.size() < 16) return ERROR_INVALID_PARAMETER;
    const auto type = static_cast<rpc::PduType>(message[2]);
    const std::uint8_t flags = message[3];
    const std::uint32_t call_id = message[12] | message[13] << 8 | message[14] << 16 | message[15] << 24;
    if (type == rpc::PduType::kBind) {
      std::vector<std::uint8_t> ack = Header(rpc::PduType::kBindAck, 3, call_id);
      PutU16(ack, 5840);
      PutU16(ack, 5840);
      PutU32(ack, 0x1234);
      const std::string address = "\\PIPE\\winreg";
      PutU16(ack, static_cast<std::uint16_t>(address.size() + 1));
      ack.insert(ack.end(), address.begin(), address.end());
      ack.push_back(0);
      while (ack.size() % 4 != 0) ack.push_back(0);
      ack.insert(ack.end(), {1, 0, 0, 0, 0, 0, 0, 0});
      ack.insert(ack.end(), rpc::kNdrSyntax.Uuid.begin(), rpc::kNdrSyntax.Uuid.end());
      PutU32(ack, rpc::kNdrSyntax.Version);
      Finish(ack);
      outbox_.insert(outbox_.end(), ack.begin(), ack.end());
      return NO_ERROR;
    }
    if (type != rpc::PduType::kRequest || message.size() < 24) return ERROR_INVALID_PARAMETER;
    if (flags & rpc::kPfcFirstFrag) request_.clear();
    request_.insert(request_.end(), message.begin() + 24, message.end());
    if (!(flags & rpc::kPfcLastFrag)) return NO_ERROR;
    const std::uint16_t opnum = static_cast<std::uint16_t>(message[22] | message[23] << 8);
    bool fault = false;
    const std::vector<std::uint8_t> stub = server_.Answer(request_, opnum, handles_, fault);
    const std::int64_t trickle_from = server_.Options().TrickleFromCall;
    trickle_ = trickle_from >= 0 && server_.CallsAnswered() >= static_cast<std::uint64_t>(trickle_from);
    if (fault) {
      std::vector<std::uint8_t> pdu = Header(rpc::PduType::kFault, 3, call_id);
      PutU32(pdu, 32);
      PutU32(pdu, 0);
      PutU32(pdu, 0x1C010002);  // status: nca_s_op_rng_error
      PutU32(pdu, 0);
      Finish(pdu);
      outbox_.insert(outbox_.end(), pdu.begin(), pdu.end());
      return NO_ERROR;
    }
    const std::size_t part_size = server_.Options().FragmentStub;
    std::size_t offset = 0;
    do {
      const std::size_t part = std::min(part_size, stub.size() - offset);
      std::uint8_t pdu_flags = 0;
      if (offset == 0) pdu_flags |= rpc::kPfcFirstFrag;
      if (offset + part == stub.size()) pdu_flags |= rpc::kPfcLastFrag;
      std::vector<std::uint8_t> pdu = Header(rpc::PduType::kResponse, pdu_flags, call_id);
      PutU32(pdu, static_cast<std::uint32_t>(stub.size() - offset));
      PutU32(pdu, 0);
      pdu.insert(pdu.end(), stub.begin() + static_cast<std::ptrdiff_t>(offset),
                 stub.begin() + static_cast<std::ptrdiff_t>(offset + part));
      Finish(pdu);
      outbox_.insert(outbox_.end(), pdu.begin(), pdu.end());
      offset += part;
    } while (offset < stub.size());
    return NO_ERROR;
  }

  DWORD Read(std::span<std::uint8_t> buffer, std::size_t& received) override {
    Wait();
    server_.CountRead();
    if (outbox_.empty() && server_.Dead()) {
      server_.CountUseAfterDeath();
      return ERROR_BROKEN_PIPE;
    }
    if (outbox_.empty()) return ERROR_TIMEOUT;
    if (trickle_) {
      std::this_thread::sleep_for(server_.Options().TrickleDelay);
      buffer = buffer.first(1);
    }
    // A read gives at most the rest of one fragment, as a message-mode
    // pipe does.
    const bool at_header = fragment_left_ == 0;
    if (at_header) fragment_left_ = outbox_.size() >= 10 ? (outbox_[8] | outbox_[9] << 8) : outbox_.size();
    std::size_t count = std::min({buffer.size(), outbox_.size(), std::max<std::size_t>(fragment_left_, 1)});
    if (server_.Options().ReadChunk != 0) count = std::min(count, server_.Options().ReadChunk);
    if (server_.Options().HeaderFirst && at_header) count = std::min<std::size_t>(count, 16);
    fragment_left_ -= std::min(fragment_left_, count);
    std::copy_n(outbox_.begin(), count, buffer.begin());
    outbox_.erase(outbox_.begin(), outbox_.begin() + static_cast<std::ptrdiff_t>(count));
    received = count;
    return NO_ERROR;
  }

 private:
  void Wait() const {
    if (server_.Options().Delay.count() > 0) std::this_thread::sleep_for(server_.Options().Delay);
  }

  FakeWinregServer& server_;
  std::deque<std::uint8_t> outbox_;
  std::size_t fragment_left_ = 0;
  bool trickle_ = false;
  std::vector<std::uint8_t> request_;
  std::map<std::string, std::u16string> handles_;
};

}  // namespace

void FakeWinregServer::AddApplications(std::size_t count) {
  Keys[u""].Subkeys = {u"Software"};
  Keys[u"Software"].Subkeys = {u"Microsoft"};
  Keys[u"Software\\Microsoft"].Subkeys = {u"Windows"};
  Keys[u"Software\\Microsoft\\Windows"].Subkeys = {u"CurrentVersion"};
  Keys[u"Software\\Microsoft\\Windows\\CurrentVersion"].Subkeys = {u"Uninstall"};
  FakeKey& uninstall = Keys[testsupport::kUninstallPath];
  for (std::size_t index = 0; index < count; ++index) {
    std::u16string name = u"{App-";
    for (char digit : std::to_string(index)) name.push_back(static_cast<char16_t>(digit));
    name += u"}";
    uninstall.Subkeys.push_back(name);
    FakeKey& application = Keys[std::u16string(testsupport::kUninstallPath) + u"\\" + name];
    if (index % 10 == 9) continue;
    std::u16string display = u"Application " + name.substr(1, name.size() - 2);
    application.Values[u"DisplayName"] = {REG_SZ, Utf16(display, true)};
    application.Values[u"Publisher"] = {REG_SZ, Utf16(u"Kestrova test", true)};
  }
}

DWORD FakeWinregServer::Open(std::u16string_view /*server*/, std::string_view pipe_name,
                             std::unique_ptr<rpc::MessagePipe>& pipe) {
  if (pipe_name != "winreg") return ERROR_FILE_NOT_FOUND;
  if (opened_.fetch_add(1) >= options_.Pipes) return ERROR_BAD_NETPATH;
  if (options_.OpenDelay.count() > 0) std::this_thread::sleep_for(options_.OpenDelay);
  pipe = std::make_unique<FakePipe>(*this);
  return NO_ERROR;
}

bool FakeWinregServer::Dead() {
  return options_.CallsBeforeDeath >= 0 && calls_.load() >= static_cast<std::uint64_t>(options_.CallsBeforeDeath);
}

std::vector<std::uint8_t> FakeWinregServer::Answer(const std::vector<std::uint8_t>& request, std::uint16_t opnum,
                                                   std::map<std::string, std::u16string>& handles, bool& fault) {
  ++calls_;
  NdrReader in(request);
  NdrWriter out;
  auto new_handle = [&](const std::u16string& path) {
    ContextHandle handle;
    const std::uint32_t number = next_handle_++;
    for (int index = 0; index < 4; ++index) handle.Bytes[4 + index] = static_cast<std::uint8_t>(number >> (8 * index));
    handle.Bytes[19] = 0x77;
    handles[HandleKey(handle)] = path;
    return handle;
  };
  auto find_handle = [&](const ContextHandle& handle) -> const std::u16string* {
    const auto found = handles.find(HandleKey(handle));
    return found == handles.end() ? nullptr : &found->second;
  };
  switch (opnum) {
    case winreg::kOpenLocalMachine:
    case winreg::kOpenUsers: {
      if (in.Pointer()) in.U16();
      in.U32();
      out.Handle(new_handle(u""));
      out.U32(0);
      break;
    }
    case winreg::kBaseRegOpenKey: {
      const std::u16string* parent = find_handle(in.Handle());
      const std::u16string path = in.CountedString();
      in.U32();
      in.U32();
      const std::u16string full = parent ? Join(*parent, path) : u"";
      const auto key = Keys.find(full);
      DWORD status = NO_ERROR;
      if (!parent) {
        status = ERROR_INVALID_HANDLE;
      } else if (key == Keys.end()) {
        status = ERROR_FILE_NOT_FOUND;
      } else if (key->second.Denied) {
        status = ERROR_ACCESS_DENIED;
      }
      out.Handle(status == NO_ERROR ? new_handle(full) : ContextHandle{});
      out.U32(status);
      break;
    }
    case winreg::kBaseRegCloseKey: {
      const ContextHandle handle = in.Handle();
      const bool known = handles.erase(HandleKey(handle)) != 0;
      out.Handle(ContextHandle{});
      out.U32(known ? NO_ERROR : ERROR_INVALID_HANDLE);
      break;
    }
    case winreg::kBaseRegEnumKey: {
      const std::u16string* path = find_handle(in.Handle());
      const DWORD index = in.U32();
      in.U16();
      const std::uint16_t room = in.U16();
      const FakeKey* key = path && Keys.count(*path) ? &Keys.at(*path) : nullptr;
      DWORD status = NO_ERROR;
      if (!key) {
        status = ERROR_INVALID_HANDLE;
      } else if (index >= key->Subkeys.size()) {
        status = ERROR_NO_MORE_ITEMS;
      } else if ((key->Subkeys[index].size() + 1) * 2 > room && !options_.IgnoresRoom) {
        status = ERROR_MORE_DATA;
      }
      if (status == NO_ERROR) {
        out.CountedString(key->Subkeys[index], true);
        out.Pointer(true);  // an empty class
        out.EmptyCountedString(0);
        out.Pointer(true);
        out.U32(0x11223344);
        out.U32(0x01D00000 + index);
      } else {
        out.EmptyCountedString(0);
        out.Pointer(false);
        out.Pointer(false);
      }
      out.U32(status);
      break;
    }
    case winreg::kBaseRegQueryInfoKey: {
      const std::u16string* path = find_handle(in.Handle());
      const FakeKey* key = path && Keys.count(*path) ? &Keys.at(*path) : nullptr;
      out.EmptyCountedString(0);
      std::uint32_t longest_subkey = 0, longest_name = 0, longest_data = 0;
      if (key) {
        for (const auto& name : key->Subkeys) longest_subkey = std::max<std::uint32_t>(longest_subkey, name.size());
        for (const auto& [name, value] : key->Values) {
          longest_name = std::max<std::uint32_t>(longest_name, name.size());
          longest_data = std::max<std::uint32_t>(longest_data, value.Data.size());
        }
      }
      winreg::QueryInfoKeyReply facts;
      if (key) {
        facts.cSubKeys = static_cast<DWORD>(key->Subkeys.size());
        facts.cbMaxSubKeyLen = longest_subkey;
        facts.cValues = static_cast<DWORD>(key->Values.size());
        facts.cbMaxValueNameLen = longest_name;
        facts.cbMaxValueLen = longest_data;
        facts.ftLastWriteTime = {0x55667788, 0x01D99999};
        facts = key->ClaimedFacts.value_or(facts);
      }
      out.U32(facts.cSubKeys);
      out.U32(facts.cbMaxSubKeyLen);
      out.U32(facts.cbMaxClassLen);
      out.U32(facts.cValues);
      out.U32(facts.cbMaxValueNameLen);
      out.U32(facts.cbMaxValueLen);
      out.U32(facts.cbSecurityDescriptor);
      out.U32(facts.ftLastWriteTime.dwLowDateTime);
      out.U32(facts.ftLastWriteTime.dwHighDateTime);
      out.U32(key ? NO_ERROR : ERROR_INVALID_HANDLE);
      break;
    }
    case winreg::kBaseRegQueryValue: {
      const std::u16string* path = find_handle(in.Handle());
      const std::u16string name = in.CountedString();
      if (in.Pointer()) in.U32();
      std::uint32_t room = 0;
      const bool wants_data = in.Pointer();
      if (wants_data) {
        room = in.U32();
        in.U32();
        in.U32();
      }
      if (in.Pointer()) in.U32();
      if (in.Pointer()) in.U32();
      const FakeKey* key = path && Keys.count(*path) ? &Keys.at(*path) : nullptr;
      const FakeKey::Value* value = nullptr;
      if (key && key->Values.count(name)) value = &key->Values.at(name);
      DWORD status = !key ? ERROR_INVALID_HANDLE : !value ? ERROR_FILE_NOT_FOUND : NO_ERROR;
      if (status == NO_ERROR && wants_data && room < value->Data.size() && !options_.IgnoresRoom) {
        status = ERROR_MORE_DATA;
      }
      const bool send_data = status == NO_ERROR && wants_data;
      out.Pointer(true);
      out.U32(value ? value->Type : 0);
      out.Pointer(send_data);
      if (send_data) {
        const auto size = static_cast<std::uint32_t>(value->Data.size());
        out.ArrayHeader(std::max(room, size), size);
        out.Bytes(std::span(reinterpret_cast<const std::uint8_t*>(value->Data.data()), value->Data.size()));
      }
      out.Pointer(true);
      out.U32(value ? static_cast<std::uint32_t>(value->Data.size()) : 0);
      out.Pointer(true);
      out.U32(send_data ? static_cast<std::uint32_t>(value->Data.size()) : 0);
      out.U32(status);
      break;
    }
    default:
      fault = true;
  }
  return out.Take();
}

}  // namespace smbtest
