// An ordered list of texts: appended to at the end, read by a 0-based
// index, never sorted. Duplicates and empty texts are kept as they come.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/exception.h"
#include "runtime/text.h"

KESTROVA_ERROR_CLASS(EStringListError, Exception);

class TStringList {
 public:
  TStringList() = default;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  void Add(Text entry);
  // The entry at index; raises EStringListError "List index out of
  // bounds (%d)" when index is below 0 or not below Count().
  const Text& Get(std::int32_t index) const;
  std::int32_t Count() const { return static_cast<std::int32_t>(entries_.size()); }
  void Clear();

  // Room for entries before the list grows again.
  std::int32_t Capacity() const { return capacity_; }

 private:
  void Grow();

  std::vector<Text> entries_;
  std::int32_t capacity_ = 0;
};
