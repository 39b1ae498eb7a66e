#include "platform/smb/rpc/connection.h"

#include <algorithm>

#include "platform/smb/rpc/status.h"

namespace rpc {

DWORD Connection::Break(DWORD error) {
  broken_ = error;
  return error;
}

void Connection::StartDeadline() {
  deadline_ = std::chrono::steady_clock::now() + time_limit_;
  pipe_->SetDeadline(deadline_);
}

DWORD Connection::Write(std::span<const std::uint8_t> message) {
  if (std::chrono::steady_clock::now() >= deadline_) return ERROR_TIMEOUT;
  return pipe_->Write(message);
}

DWORD Connection::ReadExactly(std::span<std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (std::chrono::steady_clock::now() >= deadline_) return ERROR_TIMEOUT;
    std::size_t received = 0;
    if (const DWORD status = pipe_->Read(bytes, received); status != NO_ERROR) return status;
    if (received == 0 || received > bytes.size()) return kRpcProtocolError;
    bytes = bytes.subspan(received);
  }
  return NO_ERROR;
}

DWORD Connection::ReadFragment(std::size_t max_fragment, std::vector<std::uint8_t>& fragment) {
  // The header, then exactly the rest of the fragment, never more: a pipe
  // may fill the whole buffer before it returns (as libsmbclient's read
  // does), which past the end of a reply would wait for bytes that never
  // come.
  fragment.resize(kCommonHeaderSize);
  if (const DWORD status = ReadExactly(fragment); status != NO_ERROR) return status;
  PduHeader header;
  if (const DWORD status = ParseHeader(fragment, max_fragment, header); status != NO_ERROR) return status;
  fragment.resize(header.FragmentLength);
  return ReadExactly(std::span<std::uint8_t>(fragment).subspan(kCommonHeaderSize));
}

DWORD Connection::Bind(const SyntaxId& interface_syntax) {
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

DWORD Connection::Call(std::uint16_t opnum, std::span<const std::uint8_t> request,
                       std::vector<std::uint8_t>& response) {
  if (broken_ != NO_ERROR) return broken_;
  if (!bound_) return kRpcProtocolError;
  const std::uint32_t call_id = next_call_id_++;
  ++calls_;
  StartDeadline();
  for (const std::vector<std::uint8_t>& fragment : EncodeRequest(call_id, opnum, request, agreement_.MaxTransmit)) {
    if (const DWORD status = Write(fragment); status != NO_ERROR) return Break(status);
  }
  ResponseAssembler assembler(call_id, agreement_.MaxReceive);
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

}  // namespace rpc
