#include "platform/lan/lan_model.h"

namespace lan {

NetworkRecord ServerRecord(const std::string& computer) {
  NetworkRecord record;
  record.DisplayType = RESOURCEDISPLAYTYPE_SERVER;
  record.Usage = RESOURCEUSAGE_CONTAINER;
  record.RemoteName = "\\\\" + computer;
  return record;
}

}  // namespace lan
