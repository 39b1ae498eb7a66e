// One open level of a simulated LAN's hierarchy (lan_model.h) as a browse
// level: the records below one container that an enumeration of a type
// and usage lists (without what lies below them), in UTF-16, with the
// level's faults.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "platform/lan/lan_model.h"
#include "platform/lan/lan_source.h"

namespace lan {

class ModelLevel final : public BrowseLevel {
 public:
  ModelLevel(const NetworkRecord& container, DWORD type, DWORD usage);

  DWORD Peek(DWORD most, std::span<const BrowseRecord>& records) override;
  void Advance(DWORD count) override;

 private:
  std::vector<BrowseRecord> records_;
  std::size_t next_ = 0;
  int batches_ = 0;
  std::optional<DWORD> enum_error_;
  int enum_error_after_batches_ = 0;
  std::optional<DWORD> max_records_per_batch_;
};

// The record as the browse hierarchy hands it out, in UTF-16.
BrowseRecord ToBrowseRecord(const NetworkRecord& record);

}  // namespace lan
