#include "platform/lan/model_level.h"

#include <algorithm>

#include "platform/lan/utf16_text.h"

namespace lan {
namespace {

bool Wanted(const NetworkRecord& record, DWORD type, DWORD usage) {
  // Containers and records of no particular type go with every type.
  if (type != RESOURCETYPE_ANY && record.Type != RESOURCETYPE_ANY && record.Type != type) return false;
  const DWORD kinds = usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER);
  return kinds == 0 || (record.Usage & kinds) != 0;
}

std::optional<std::u16string> Wide(const std::optional<std::string>& utf8) {
  if (!utf8) return std::nullopt;
  return Utf16FromUtf8(*utf8);
}

}  // namespace

BrowseRecord ToBrowseRecord(const NetworkRecord& record) {
  BrowseRecord browse;
  browse.Scope = record.Scope;
  browse.Type = record.Type;
  browse.DisplayType = record.DisplayType;
  browse.Usage = record.Usage;
  browse.LocalName = Wide(record.LocalName);
  browse.RemoteName = Wide(record.RemoteName);
  browse.Comment = Wide(record.Comment);
  browse.Provider = Wide(record.Provider);
  return browse;
}

ModelLevel::ModelLevel(const NetworkRecord& container, DWORD type, DWORD usage)
    : children_(container.Children),
      type_(type),
      usage_(usage),
      enum_error_(container.EnumError),
      enum_error_after_batches_(container.EnumErrorAfterBatches),
      max_records_per_batch_(container.MaxRecordsPerBatch) {}

DWORD ModelLevel::Peek(DWORD most, std::span<const BrowseRecord>& records) {
  if (enum_error_ && *enum_error_ != NO_ERROR && batches_ >= enum_error_after_batches_) return *enum_error_;
  std::size_t count = std::min<std::size_t>(std::max<DWORD>(most, 1), kMostRecordsPerPeek);
  if (max_records_per_batch_) count = std::min<std::size_t>(count, std::max<DWORD>(*max_records_per_batch_, 1));
  while (window_.size() - handed_out_ < count && next_child_ < children_.size()) {
    const NetworkRecord& child = children_[next_child_++];
    if (Wanted(child, type_, usage_)) window_.push_back(ToBrowseRecord(child));
  }
  const std::span<const BrowseRecord> remaining = std::span<const BrowseRecord>(window_).subspan(handed_out_);
  if (remaining.empty()) return ERROR_NO_MORE_ITEMS;
  records = remaining.first(std::min(count, remaining.size()));
  return NO_ERROR;
}

void ModelLevel::Advance(DWORD count) {
  handed_out_ = std::min<std::size_t>(handed_out_ + count, window_.size());
  ++batches_;
  // What was handed out is dropped once it is as much as a whole window,
  // so that each record is moved at most once.
  if (handed_out_ >= kMostRecordsPerPeek || handed_out_ == window_.size()) {
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(handed_out_));
    handed_out_ = 0;
  }
}

}  // namespace lan
