// The network browser's lists (SMB1) as a discovery source: the network's
// workgroups and each one's servers, read in full, anonymously, in the
// browser's order, which the hierarchy keeps. Narrowed to one workgroup or
// domain, only that one's server list is read.
//
// Messages: a list that cannot be read ("kestrova: smb://: cannot read the
// browse list (error N: reason)", with smb://WORKGROUP/ for a workgroup's)
// and a list cut at kMaxBrowseEntries; a workgroup whose list fails costs
// its own servers, the others are read.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/discovery/discovery_source.h"
#include "platform/smb/smb_browse_list.h"

namespace smb {

class BrowseListSource : public discovery::DiscoverySource {
 public:
  // `lists` is used by this source alone while it finds.
  BrowseListSource(std::shared_ptr<BrowseListReader> lists, std::optional<std::string> only_workgroup);

  std::string_view Name() const override { return "the browse list"; }
  bool KeepsOrder() const override { return true; }
  std::vector<discovery::FoundComputer> Find(std::ostream& diagnostics) override;

 private:
  // Reads one list (UTF-8 name, empty for the network's), the entries of
  // `kind` that fit the limits, with a message where it fails or is cut.
  bool ReadList(BrowseListKind kind, const std::string& name, std::vector<BrowseEntry>& entries,
                std::ostream& diagnostics);

  std::shared_ptr<BrowseListReader> lists_;
  std::optional<std::string> only_workgroup_;
};

}  // namespace smb
