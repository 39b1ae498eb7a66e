// One open level of a simulated LAN's hierarchy (lan_model.h) as a browse
// level: the records below one container that an enumeration of a type
// and usage lists (without what lies below them), in UTF-16, with the
// level's faults. Records are made from the model as they are asked for,
// at most kMostRecordsPerPeek at a time, so that a level of many thousands
// of records costs no more memory than a small one.
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
  static constexpr std::size_t kMostRecordsPerPeek = 1024;

  // The level reads `container`, which must outlive it.
  ModelLevel(const NetworkRecord& container, DWORD type, DWORD usage);

  DWORD Peek(DWORD most, std::span<const BrowseRecord>& records) override;
  void Advance(DWORD count) override;

 private:
  const std::vector<NetworkRecord>& children_;
  DWORD type_;
  DWORD usage_;
  std::size_t next_child_ = 0;  // the first child not looked at yet
  // Records made but not handed out yet, from window_[handed_out_] on.
  std::vector<BrowseRecord> window_;
  std::size_t handed_out_ = 0;
  int batches_ = 0;
  std::optional<DWORD> enum_error_;
  int enum_error_after_batches_ = 0;
  std::optional<DWORD> max_records_per_batch_;
};

// The record as the browse hierarchy hands it out, in UTF-16.
BrowseRecord ToBrowseRecord(const NetworkRecord& record);

}  // namespace lan
