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
// The levels follow from the records' display types, not from their names:
// a network lists workgroups only, a workgroup servers only and a server
// shares only, whatever the browser answers, so the hierarchy is never
// deeper than these four levels, even where a host is named like a
// workgroup. Browse lists and share lists are read anonymously.
//
// Registries are reached over the winreg pipe that the pipe opener opens,
// the one connection that logs on with the settings' credentials. Where the
// credentials file was refused, nothing is connected: every level and
// every registry fails with ERROR_NO_NETWORK, without a further message.
// A computer whose registry cannot be connected, or whose connection is
// lost during a listing, is reported on the diagnostics stream with its
// name and the reason; the caller sees the Windows error code alone.
#pragma once

#include <memory>
#include <ostream>

#include "platform/lan/lan_source.h"
#include "platform/smb/smb_browse_list.h"
#include "platform/smb/smb_pipe_opener.h"
#include "platform/smb/smb_settings.h"

namespace smb {

inline constexpr char16_t kProviderName[] = u"Microsoft Windows Network";

class SmbLanSource : public lan::LanSource {
 public:
  // Messages go to `diagnostics`, which must outlive the source.
  // `browse_lists` reads the browser's lists; null: libsmbclient's.
  SmbLanSource(const SmbSettings& settings, std::ostream& diagnostics,
               std::unique_ptr<BrowseListReader> browse_lists = nullptr);

  DWORD OpenLevel(const lan::BrowseRecord* container, DWORD type, DWORD usage,
                  std::unique_ptr<lan::BrowseLevel>& level) override;

  DWORD ConnectRegistry(std::u16string_view machine, HKEY root,
                        std::unique_ptr<lan::RemoteRegistry>& registry) override;

 private:
  DWORD ConnectWinreg(std::u16string_view machine, HKEY root, std::unique_ptr<lan::RemoteRegistry>& registry);

  SmbSettings settings_;
  std::ostream& diagnostics_;
  SmbPipeOpener pipes_;
  std::unique_ptr<BrowseListReader> browse_lists_;
};

}  // namespace smb
