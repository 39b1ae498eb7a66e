// Named pipes on remote computers over libsmbclient: `smb://HOST/IPC$/NAME`.
// Every pipe has a libsmbclient context (and so an SMB connection) of its
// own, which makes each pipe usable from its own thread; one pipe is used
// from one thread at a time.
//
// A computer is first probed on its own (address_probe.h), outside the lock
// that libsmbclient's connections are made under, once per host: one that
// does not answer within the time limit fails as libsmbclient fails it
// (ERROR_BAD_NETPATH) without holding up the connections to others.
#pragma once

#include <memory>

#include "platform/smb/address_probe.h"
#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/smb_settings.h"

namespace smb {

// The opener's pipes and probes, which Cancel ends (smb_pipe_opener.cpp).
class OpenedPipes;

class SmbPipeOpener : public rpc::PipeOpener {
 public:
  // Probes go through `reachability`, shared with whatever else connects
  // to the same computers; null: one of its own.
  explicit SmbPipeOpener(SmbSettings settings, std::shared_ptr<Reachability> reachability = nullptr);
  ~SmbPipeOpener() override;

  DWORD Open(std::u16string_view server, std::string_view pipe_name, std::unique_ptr<rpc::MessagePipe>& pipe) override;
  // KESTROVA_SMB_TIMEOUT: the limit of each request, its whole reply read.
  std::chrono::milliseconds CallTimeLimit() const override;
  // Ends the probes under way and shuts the sockets of the pipes opened;
  // an open that libsmbclient has begun ends within its time limit.
  void Cancel() override;

 private:
  SmbSettings settings_;
  std::shared_ptr<Reachability> reachability_;
  std::shared_ptr<OpenedPipes> opened_;
};

}  // namespace smb
