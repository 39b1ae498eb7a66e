#include "platform/smb/rpc/connection.h"

#include <algorithm>

#include "platform/smb/rpc/status.h"

namespace smb {

DWORD RpcConnection::Break(DWORD error) {
  broken_ = error;
  pending_.clear();
  return error;
}

void RpcConnection::StartDeadline() {
  deadline_ = std::chrono::steady_clock::now() + time_limit_;
  pipe_->SetDeadline(deadline_);
}

DWORD RpcConnection::Write(std::span<const std::uint8_t> message) {
  if (std::chrono::steady_clock::now() >= deadline_) return ERROR_TIMEOUT;
  return pipe_->Write(message);
}

DWORD RpcConnection::ReadFragment(std::size_t max_fragment, std::vector<std::uint8_t>& fragment) {
  std::size_t wanted = kCommonHeaderSize;
  PduHeader header;
  bool header_read = false;
  while (true) {
    if (!header_read && pending_.size() >= kCommonHeaderSize) {
      if (const DWORD status = ParseHeader(pending_, max_fragment, header); status != NO_ERROR) return status;
      header_read = true;
      wanted = header.FragmentLength;
    }
    if (header_read && pending_.size() >= wanted) break;
    // Reads ask for the header, then for the rest of the fragment, never
    // for more: a pipe may fill the whole buffer before it returns (as
    // libsmbclient's read does), which past the end of a reply would wait
    // for bytes that never come.
    const std::size_t room = header_read ? wanted - pending_.size() : kCommonHeaderSize - pending_.size();
    const std::size_t old_size = pending_.size();
    pending_.resize(old_size + room);
    if (std::chrono::steady_clock::now() >= deadline_) return ERROR_TIMEOUT;
    std::size_t received = 0;
    const DWORD status = pipe_->Read(std::span<std::uint8_t>(pending_).subspan(old_size), received);
    if (status != NO_ERROR) return status;
    if (received == 0 || received > room) return kRpcProtocolError;
    pending_.resize(old_size + received);
  }
  fragment.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(wanted));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(wanted));
  return NO_ERROR;
}

DWORD RpcConnection::Bind(const SyntaxId& interface_syntax) {
  if (broken_ != NO_ERROR) return broken_;
  const std::uint32_t call_id = next_call_id_++;
  const std::vector<std::uint8_t> bind = EncodeBind(call_id, interface_syntax);
  StartDeadline();
  if (const DWORD status = Write(bind); status != NO_ERROR) return Break(status);
  std::vector<std::uint8_t> reply;
  if (const DWORD status = ReadFragment(kOfferedFragmentSize, reply); status != NO_ERROR) return Break(status);
  if (const DWORD status = ParseBindReply(reply, call_id, agreement_); status != NO_ERROR) return Break(status);
  bound_ = true;
  return NO_ERROR;
}

DWORD RpcConnection::Call(std::uint16_t opnum, std::span<const std::uint8_t> request,
                          std::vector<std::uint8_t>& response) {
  if (broken_ != NO_ERROR) return broken_;
  if (!bound_) return kRpcProtocolError;
  const std::uint32_t call_id = next_call_id_++;
  ++calls_;
  StartDeadline();
  for (const std::vector<std::uint8_t>& fragment : EncodeRequest(call_id, opnum, request, agreement_.MaxTransmit)) {
    if (const DWORD status = Write(fragment); status != NO_ERROR) return Break(status);
  }
  ResponseAssembler assembler(call_id);
  std::vector<std::uint8_t> fragment;
  while (true) {
    if (const DWORD status = ReadFragment(agreement_.MaxReceive, fragment); status != NO_ERROR) return Break(status);
    switch (assembler.Add(fragment)) {
      case ResponseAssembler::Progress::kNeedMore:
        continue;
      case ResponseAssembler::Progress::kComplete:
        response = std::move(assembler.Stub());
        return NO_ERROR;
      case ResponseAssembler::Progress::kFailed:
        if (assembler.Desynchronized()) return Break(assembler.Error());
        return assembler.Error();
    }
  }
}

}  // namespace smb
