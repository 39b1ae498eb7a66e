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

  // Appends entry. When the list is full, its room grows first: by 4
  // entries while it holds at most 8, by 16 while it holds at most 64,
  // and by a quarter of its size beyond that.
  void Add(Text entry);
  // The entry at index; raises EStringListError "List index out of
  // bounds (%d)" when index is below 0 or not below Count(). The entry
  // stays where it is until the list's room grows or it is cleared.
  const Text& Get(std::int32_t index) const;
  std::int32_t Count() const { return static_cast<std::int32_t>(entries_.size()); }
  void Clear();

 private:
  void Grow();

  std::vector<Text> entries_;
  std::int32_t capacity_ = 0;
};
