#include "platform/smb/smb_browse_list.h"

#include <fcntl.h>
#include <libsmbclient.h>

#include <cerrno>
#include <cstring>

#include "platform/smb/smb_context.h"
#include "platform/smb/smb_errors.h"
#include "platform/smb/smb_url.h"

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

DWORD ReadDirectory(SmbContext& context, const std::string& url, std::vector<BrowseEntry>& entries) {
  entries.clear();
  SMBCCTX* raw = context.Get();
  const std::unique_lock lock = LockForConnecting();
  context.SelectProtocols();
  errno = 0;
  SMBCFILE* directory = smbc_getFunctionOpendir(raw)(raw, url.c_str());
  if (directory == nullptr) return WindowsErrorFromErrno(errno, SmbStep::kBrowse);
  const auto read = smbc_getFunctionReaddir(raw);
  while (entries.size() <= kMaxBrowseEntries) {
    const smbc_dirent* entry = read(raw, directory);
    if (entry == nullptr) break;
    BrowseEntry copy;
    copy.Kind = KindOf(entry->smbc_type);
    // One byte past each limit, so that the source sees what is too long.
    copy.Name = Bounded(entry->name, std::min<unsigned int>(entry->namelen + 1, kMaxBrowseNameBytes + 1));
    copy.Comment = Bounded(entry->comment, std::min<unsigned int>(entry->commentlen + 1, kMaxBrowseCommentBytes + 1));
    if (copy.Kind == BrowseEntryKind::kOther || copy.Name.empty()) continue;
    entries.push_back(std::move(copy));
  }
  smbc_getFunctionClosedir(raw)(raw, directory);
  return NO_ERROR;
}

bool AllShares(const std::vector<BrowseEntry>& entries) {
  for (const BrowseEntry& entry : entries) {
    if (entry.Kind != BrowseEntryKind::kDiskShare && entry.Kind != BrowseEntryKind::kPrinterShare) return false;
  }
  return true;
}

class SmbBrowseListReader : public BrowseListReader {
 public:
  explicit SmbBrowseListReader(SmbSettings settings) : settings_(std::move(settings)) {}

  DWORD Read(BrowseListKind kind, std::string_view name, std::vector<BrowseEntry>& entries) override {
    entries.clear();
    if (context_ == nullptr) context_ = SmbContext::Create(settings_, ContextPurpose::kBrowsing);
    if (context_ == nullptr) return ERROR_NO_NETWORK;
    if (kind == BrowseListKind::kWorkgroups) return ReadDirectory(*context_, "smb://", entries);
    const std::string url = "smb://" + UrlEncoded(name) + "/";
    DWORD error = ReadDirectory(*context_, url, entries);
    if (kind == BrowseListKind::kShares && error == NO_ERROR && !AllShares(entries)) {
      // libsmbclient takes smb://NAME/ for the workgroup NAME when a
      // master browser answers that name, before it looks for the host
      // NAME, but lists the host's shares once it holds a connection to
      // the host's IPC$. smb://NAME/IPC$/... names a host and nothing
      // else: opening a pipe there makes that connection (the pipe itself
      // may be refused).
      ConnectToHost(url);
      error = ReadDirectory(*context_, url, entries);
    }
    if (kind == BrowseListKind::kShares && (error == ERROR_ACCESS_DENIED || error == kErrorLogonFailure)) {
      // A server that refuses an anonymous caller its share list.
      entries.clear();
      return NO_ERROR;
    }
    return error;
  }

 private:
  void ConnectToHost(const std::string& url) {
    SMBCCTX* raw = context_->Get();
    const std::unique_lock lock = LockForConnecting();
    context_->SelectProtocols();
    const std::string pipe = url + "IPC$/srvsvc";
    if (SMBCFILE* file = smbc_getFunctionOpen(raw)(raw, pipe.c_str(), O_RDWR, 0)) {
      smbc_getFunctionClose(raw)(raw, file);
    }
  }

  SmbSettings settings_;
  // Made on the first read, kept for the next (one thread at a time).
  std::unique_ptr<SmbContext> context_;
};

}  // namespace

std::unique_ptr<BrowseListReader> MakeSmbBrowseListReader(const SmbSettings& settings) {
  return std::make_unique<SmbBrowseListReader>(settings);
}

}  // namespace smb
