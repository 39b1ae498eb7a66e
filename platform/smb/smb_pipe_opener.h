// Named pipes on remote computers over libsmbclient: `smb://HOST/IPC$/NAME`.
// Every pipe has a libsmbclient context (and so an SMB connection) of its
// own, which makes each pipe usable from its own thread; one pipe is used
// from one thread at a time.
#pragma once

#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/smb_settings.h"

namespace smb {

class SmbPipeOpener : public rpc::PipeOpener {
 public:
  explicit SmbPipeOpener(SmbSettings settings) : settings_(std::move(settings)) {}

  DWORD Open(std::u16string_view server, std::string_view pipe_name, std::unique_ptr<rpc::MessagePipe>& pipe) override;
  // KESTROVA_SMB_TIMEOUT: the limit of each request, its whole reply read.
  std::chrono::milliseconds CallTimeLimit() const override;

 private:
  SmbSettings settings_;
};

}  // namespace smb
