// The network browser's lists as libsmbclient reads them over SMB1: the
// workgroups and domains that the master browsers know (`smb://`), the
// servers of one workgroup (`smb://WORKGROUP`), the shares of one server
// (`smb://SERVER`). Each call reads one whole list, in the order the
// browser gives it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/smb/smb_context.h"
#include "platform/windows_api.h"

namespace smb {

enum class BrowseEntryKind { kWorkgroup, kServer, kDiskShare, kPrinterShare, kOther };

struct BrowseEntry {
  BrowseEntryKind Kind = BrowseEntryKind::kOther;
  std::string Name;     // UTF-8
  std::string Comment;  // UTF-8, empty for none
};

// No list that a server hands back is taken longer than this.
inline constexpr std::size_t kMaxBrowseEntries = 65536;

// Reads the list at `url` (an smb:// URL) through `context`, which must be
// a browsing context. A Windows error code; on failure `entries` is empty.
DWORD ReadBrowseList(SmbContext& context, const std::string& url, std::vector<BrowseEntry>& entries);

}  // namespace smb
