#include "platform/lan/lan_model.h"

namespace lan {

std::string_view WithoutNetworkPrefix(std::string_view name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.remove_prefix(2);
  return name;
}

NetworkRecord ServerRecord(const std::string& computer) {
  NetworkRecord record;
  record.DisplayType = RESOURCEDISPLAYTYPE_SERVER;
  record.Usage = RESOURCEUSAGE_CONTAINER;
  record.RemoteName = "\\\\" + computer;
  return record;
}

}  // namespace lan
