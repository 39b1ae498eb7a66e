// The real Windows network over SMB, selected with KESTROVA_LAN=smb://.
// Its computers come from the discovery sources (the browse list,
// WS-Discovery, Active Directory, the host list), run at once when the
// network level is first opened and merged into one hierarchy
// (platform/discovery/discovered_network.h), shown as Windows' browser
// shows its own:
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
// shares only, so the hierarchy is never deeper than these four levels,
// even where a host is named like a workgroup. A workgroup that discovery
// did not find cannot be opened (ERROR_BAD_NETPATH). A server's shares are
// read when it is opened, anonymously, at the address that discovery found
// for it where one did.
//
// Registries are reached over the winreg pipe that the pipe opener opens,
// the one connection that logs on with the settings' credentials: at the
// address that discovery found for the computer's name (the first source
// that gave one), so that a discovered computer needs no name service;
// by name where none did (a computer that a caller names itself). Where
// the credentials file was refused, nothing is connected and nothing
// discovered: every level and every registry fails with ERROR_NO_NETWORK,
// without a further message. A computer whose registry cannot be
// connected, or whose connection is lost during a listing, is reported on
// the diagnostics stream with its name and the reason; the caller sees the
// Windows error code alone.
//
// Once discovery found the computers, each is probed at once
// (address_probe.h): one that does not answer costs one time limit in all,
// and its share list and registry then fail without waiting again. Once the
// program has walked the network, the registries of the computers
// after the one it lists are read ahead, KESTROVA_SMB_PARALLEL computers at
// once (computers_read_ahead.h): what the program sees, on its calls and on
// the diagnostics stream, is what reading one computer at a time gives.
#pragma once

#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "platform/discovery/discovered_network.h"
#include "platform/discovery/discovery_source.h"
#include "platform/lan/lan_source.h"
#include "platform/smb/smb_browse_list.h"
#include "platform/smb/smb_pipe_opener.h"
#include "platform/smb/smb_settings.h"

namespace smb {

class ComputersReadAhead;
class Reachability;

inline constexpr char16_t kProviderName[] = u"Microsoft Windows Network";

class SmbLanSource : public lan::LanSource {
 public:
  // Messages go to `diagnostics`, which must outlive the source.
  // `browse_lists` reads servers' shares (and is shared with the browse
  // list source); `sources` come in the fixed order of the merge; `pipes`
  // opens the winreg pipes, null: libsmbclient's. `reachability` probes
  // the computers found, before their share lists and registries are
  // read; null: none here (libsmbclient's pipes still probe their own).
  SmbLanSource(const SmbSettings& settings, std::ostream& diagnostics, std::shared_ptr<BrowseListReader> browse_lists,
               std::vector<std::unique_ptr<discovery::DiscoverySource>> sources, discovery::MergeOptions merge,
               std::unique_ptr<rpc::PipeOpener> pipes = nullptr, std::shared_ptr<Reachability> reachability = nullptr);
  // The browse list as the one source, read through `browse_lists`; null:
  // libsmbclient's.
  SmbLanSource(const SmbSettings& settings, std::ostream& diagnostics,
               std::unique_ptr<BrowseListReader> browse_lists = nullptr);
  ~SmbLanSource() override;

  DWORD OpenLevel(const lan::BrowseRecord* container, DWORD type, DWORD usage,
                  std::unique_ptr<lan::BrowseLevel>& level) override;

  DWORD ConnectRegistry(std::u16string_view machine, HKEY root,
                        std::unique_ptr<lan::RemoteRegistry>& registry) override;

 private:
  class AddressedPipes;

  // The merged hierarchy, found on the first call.
  const discovery::DiscoveredNetwork& Discovered();
  // The read-ahead across computers for registries at `root`; null when
  // there is none.
  ComputersReadAhead* ReadAhead(HKEY root);

  SmbSettings settings_;
  std::ostream& diagnostics_;
  std::shared_ptr<BrowseListReader> browse_lists_;
  std::vector<std::unique_ptr<discovery::DiscoverySource>> sources_;
  discovery::MergeOptions merge_;
  std::shared_ptr<const discovery::DiscoveredNetwork> discovered_;
  // Which computers answer at all, probed once discovery found them; only
  // over libsmbclient's pipes.
  std::shared_ptr<Reachability> reachability_;
  std::unique_ptr<AddressedPipes> pipes_;
  // Declared last: stopped (its threads joined) first.
  std::unique_ptr<ComputersReadAhead> read_ahead_;
};

}  // namespace smb
