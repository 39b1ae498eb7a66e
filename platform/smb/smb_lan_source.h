// The real Windows network over SMB, selected with KESTROVA_LAN=smb://.
// Discovery reads the network browser's lists (SMB1) and shows them as
// Windows' browser does:
//
//   Microsoft Windows Network     display type network, usage container
//   └── WORKGROUP                 display type domain, usage container
//       └── \\NAME                display type server, usage container,
//                                 the server's comment (null when empty)
//           └── \\NAME\share      display type share, usage connectable
//                                 (disk and printer shares; names ending
//                                 in $ are hidden, as Windows hides them)
//
// Registries are reached over the winreg pipe that the pipe opener opens.
// A computer whose registry cannot be connected, or whose connection is
// lost during a listing, is reported on `messages` with its name and the
// reason; the caller sees the Windows error code alone.
#pragma once

#include <iostream>
#include <memory>

#include "platform/lan/lan_source.h"
#include "platform/smb/smb_context.h"
#include "platform/smb/smb_pipe_opener.h"
#include "platform/smb/smb_settings.h"

namespace smb {

inline constexpr char16_t kProviderName[] = u"Microsoft Windows Network";

class SmbLanSource : public lan::LanSource {
 public:
  explicit SmbLanSource(SmbSettings settings, std::ostream& messages = std::cerr);

  DWORD OpenLevel(const lan::BrowseRecord* container, DWORD type, DWORD usage,
                  std::unique_ptr<lan::BrowseLevel>& level) override;

  DWORD ConnectRegistry(std::u16string_view machine, HKEY root,
                        std::unique_ptr<lan::RemoteRegistry>& registry) override;

  // The pipes that registries are read over.
  PipeOpener& Pipes() { return pipes_; }

 private:
  DWORD ConnectWinreg(std::u16string_view machine, HKEY root, std::unique_ptr<lan::RemoteRegistry>& registry);

  SmbSettings settings_;
  std::ostream& messages_;
  SmbPipeOpener pipes_;
  // Made on the first browse, kept for the next (one thread at a time).
  std::unique_ptr<SmbContext> browsing_;
};

}  // namespace smb
