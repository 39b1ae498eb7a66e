// Records of a LAN model's browse hierarchy (lan_model.h), as tests build
// them: containers and servers of the Windows network's provider.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/lan/lan_model.h"

namespace testing_support {

inline lan::NetworkRecord Container(std::string remote_name, DWORD display_type,
                                    std::vector<lan::NetworkRecord> children = {}) {
  lan::NetworkRecord record;
  record.DisplayType = display_type;
  record.Usage = RESOURCEUSAGE_CONTAINER;
  record.RemoteName = std::move(remote_name);
  record.Provider = "Microsoft Windows Network";
  record.Children = std::move(children);
  return record;
}

// A computer's server, "\\" and its name: a container, which holds shares.
inline lan::NetworkRecord Server(const std::string& name) {
  return Container("\\\\" + name, RESOURCEDISPLAYTYPE_SERVER);
}

}  // namespace testing_support
