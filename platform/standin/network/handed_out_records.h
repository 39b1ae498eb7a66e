// The records that WNetEnumResourceA wrote into its callers' buffers, so
// that a record handed back to WNetOpenEnumA is known as the record it
// was. Its ANSI names cannot say that: a name that the code page lacks
// comes out as '?', and two containers can come out with one name, so a
// container opened by its ANSI name could be another one, or one that
// encloses the record and makes a walk of the network endless.
//
// Each enumeration's latest batch is remembered, until its next batch or
// its closing: what the caller's buffer holds while it walks the level.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/lan/lan_source.h"
#include "platform/lan/record_batches.h"
#include "platform/windows_api.h"

namespace standin {

class HandedOutRecords {
 public:
  // Notes that enumeration `handle` wrote `written` at `at`, made from
  // `record`. The strings that `written` points to must be in place.
  void Note(std::uintptr_t handle, const void* at, const NETRESOURCEA& written, lan::BrowseRecord record);

  // Forgets what enumeration `handle` wrote.
  void Forget(std::uintptr_t handle);

  // The record that the NETRESOURCEA at `at` was made from, while every
  // field and string of it is still as it was written; null otherwise.
  const lan::BrowseRecord* Original(const NETRESOURCEA* at) const;

 private:
  struct Written {
    std::uintptr_t Handle;
    NETRESOURCEA Record;
    lan::RecordStrings<char> Strings;
    lan::BrowseRecord Original;
  };

  std::unordered_map<const void*, Written> by_address_;
  std::unordered_map<std::uintptr_t, std::vector<const void*>> by_handle_;
};

}  // namespace standin
