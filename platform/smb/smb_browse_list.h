// The network browser's lists: the workgroups and domains that the master
// browsers know, the servers of one workgroup, the shares of one server.
// Each call reads one whole list, in the order the browser gives it.
// libsmbclient reads them over SMB1, anonymously; tests script them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/smb/smb_settings.h"
#include "platform/windows_api.h"

namespace smb {

enum class BrowseEntryKind { kWorkgroup, kServer, kDiskShare, kPrinterShare, kOther };

struct BrowseEntry {
  BrowseEntryKind Kind = BrowseEntryKind::kOther;
  std::string Name;     // UTF-8
  std::string Comment;  // UTF-8, empty for none
};

// No list that a server hands back is taken longer than this. Readers hand
// out at most one entry more, so that the source sees a list that is cut.
inline constexpr std::size_t kMaxBrowseEntries = 65536;
// Longer names are no NetBIOS, DNS or share names: such an entry is left
// out. Longer comments are no Windows comments (256 characters): such a
// comment is dropped. Readers hand out at most one byte more.
inline constexpr std::size_t kMaxBrowseNameBytes = 255;
inline constexpr std::size_t kMaxBrowseCommentBytes = 1024;

enum class BrowseListKind {
  kWorkgroups,  // of the network: the name is empty
  kServers,     // of the workgroup named
  kShares,      // of the server named
};

class BrowseListReader {
 public:
  virtual ~BrowseListReader() = default;

  // Reads the list of `kind` below `name` (UTF-8). A Windows error code;
  // on failure `entries` is empty. The entries are what the network gave:
  // the caller keeps those of the kind it asked for.
  virtual DWORD Read(BrowseListKind kind, std::string_view name, std::vector<BrowseEntry>& entries) = 0;
};

// The lists as libsmbclient reads them, through one browsing context made
// on the first read (ERROR_NO_NETWORK when it cannot be made). A server's
// shares are read from the host of that name, even where the name is also
// a workgroup's; a server that refuses an anonymous caller has no shares.
std::unique_ptr<BrowseListReader> MakeSmbBrowseListReader(const SmbSettings& settings);

}  // namespace smb
