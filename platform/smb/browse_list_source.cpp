#include "platform/smb/browse_list_source.h"

#include "platform/lan/visible_text.h"
#include "platform/smb/smb_errors.h"

namespace smb {
namespace {

std::string ListUrl(const std::string& name) {
  return "smb://" + (name.empty() ? std::string() : lan::VisibleText(name) + "/");
}

}  // namespace

BrowseListSource::BrowseListSource(std::shared_ptr<BrowseListReader> lists, std::optional<std::string> only_workgroup)
    : lists_(std::move(lists)), only_workgroup_(std::move(only_workgroup)) {}

bool BrowseListSource::ReadList(BrowseListKind kind, const std::string& name, std::vector<BrowseEntry>& entries,
                                std::ostream& diagnostics) {
  if (const DWORD error = lists_->Read(kind, name, entries); error != NO_ERROR) {
    diagnostics << "kestrova: " << ListUrl(name) << ": cannot read the browse list (error " << error << ": "
                << ReasonOf(error) << ")\n";
    return false;
  }
  if (entries.size() > kMaxBrowseEntries) {
    diagnostics << "kestrova: " << ListUrl(name) << ": the browse list holds more than " << kMaxBrowseEntries
                << " entries; only the first " << kMaxBrowseEntries << " are read\n";
    entries.resize(kMaxBrowseEntries);
  }
  // A list holds one kind of entry: a network lists workgroups, a
  // workgroup servers, whatever the browser answers.
  const BrowseEntryKind wanted =
      kind == BrowseListKind::kWorkgroups ? BrowseEntryKind::kWorkgroup : BrowseEntryKind::kServer;
  std::erase_if(entries, [&](const BrowseEntry& entry) {
    return entry.Kind != wanted || entry.Name.empty() || entry.Name.size() > kMaxBrowseNameBytes;
  });
  return true;
}

std::vector<discovery::FoundComputer> BrowseListSource::Find(std::ostream& diagnostics) {
  std::vector<std::string> workgroups;
  if (only_workgroup_) {
    workgroups.push_back(*only_workgroup_);
  } else {
    std::vector<BrowseEntry> entries;
    if (!ReadList(BrowseListKind::kWorkgroups, "", entries, diagnostics)) return {};
    for (BrowseEntry& entry : entries) workgroups.push_back(std::move(entry.Name));
  }
  std::vector<discovery::FoundComputer> found;
  for (const std::string& workgroup : workgroups) {
    std::vector<BrowseEntry> servers;
    if (!ReadList(BrowseListKind::kServers, workgroup, servers, diagnostics)) continue;
    for (BrowseEntry& server : servers) {
      // One more than the hierarchy holds, so that the merge says where
      // it was cut.
      if (found.size() > discovery::kMaxComputers) return found;
      std::string comment = server.Comment.size() > kMaxBrowseCommentBytes ? std::string() : std::move(server.Comment);
      found.push_back({workgroup, std::move(server.Name), std::string(), std::move(comment)});
    }
  }
  return found;
}

}  // namespace smb
