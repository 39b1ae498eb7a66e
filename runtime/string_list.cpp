#include "runtime/string_list.h"

void TStringList::Add(Text entry) {
  if (Count() == capacity_) Grow();
  entries_.push_back(std::move(entry));
}

const Text& TStringList::Get(std::int32_t index) const {
  if (index < 0 || index >= Count()) Raise(EStringListError("List index out of bounds (%d)", {index}));
  return entries_[static_cast<std::size_t>(index)];
}

void TStringList::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  capacity_ = 0;
}

// Small lists grow by 4 entries, middling ones by 16, large ones by a
// quarter of their size.
void TStringList::Grow() {
  std::int32_t delta = 4;
  if (capacity_ > 64) {
    delta = capacity_ / 4;
  } else if (capacity_ > 8) {
    delta = 16;
  }
  capacity_ += delta;
  entries_.reserve(static_cast<std::size_t>(capacity_));
}
