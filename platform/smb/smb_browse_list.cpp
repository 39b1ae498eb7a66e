#include "platform/smb/smb_browse_list.h"

#include <libsmbclient.h>

#include <cerrno>
#include <cstring>

#include "platform/smb/smb_errors.h"

namespace smb {
namespace {

BrowseEntryKind KindOf(unsigned int type) {
  switch (type) {
    case SMBC_WORKGROUP:
      return BrowseEntryKind::kWorkgroup;
    case SMBC_SERVER:
      return BrowseEntryKind::kServer;
    case SMBC_FILE_SHARE:
      return BrowseEntryKind::kDiskShare;
    case SMBC_PRINTER_SHARE:
      return BrowseEntryKind::kPrinterShare;
    default:
      return BrowseEntryKind::kOther;
  }
}

// A string of a directory entry, never read past its own bound.
std::string Bounded(const char* text, unsigned int length) {
  if (text == nullptr) return {};
  return std::string(text, strnlen(text, length));
}

}  // namespace

DWORD ReadBrowseList(SmbContext& context, const std::string& url, std::vector<BrowseEntry>& entries) {
  entries.clear();
  SMBCCTX* raw = context.Get();
  const std::unique_lock lock = LockForConnecting();
  errno = 0;
  SMBCFILE* directory = smbc_getFunctionOpendir(raw)(raw, url.c_str());
  if (directory == nullptr) return WindowsErrorFromErrno(errno, SmbStep::kBrowse);
  const auto read = smbc_getFunctionReaddir(raw);
  while (entries.size() < kMaxBrowseEntries) {
    const smbc_dirent* entry = read(raw, directory);
    if (entry == nullptr) break;
    BrowseEntry copy;
    copy.Kind = KindOf(entry->smbc_type);
    copy.Name = Bounded(entry->name, entry->namelen + 1);
    copy.Comment = Bounded(entry->comment, entry->commentlen + 1);
    if (copy.Kind == BrowseEntryKind::kOther || copy.Name.empty()) continue;
    entries.push_back(std::move(copy));
  }
  smbc_getFunctionClosedir(raw)(raw, directory);
  return NO_ERROR;
}

}  // namespace smb
