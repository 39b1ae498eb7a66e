#include "platform/standin/network/handed_out_records.h"

#include <cstring>
#include <optional>

namespace standin {
namespace {

std::optional<std::string> Copied(const char* text) {
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

// True when `text` still points to the string that was written: its bytes
// and terminating zero, read no further than the string was.
bool StillHolds(const char* text, const std::optional<std::string>& written) {
  if (!written) return text == nullptr;
  return text != nullptr && std::memcmp(text, written->c_str(), written->size() + 1) == 0;
}

bool SameFields(const NETRESOURCEA& a, const NETRESOURCEA& b) {
  return a.dwScope == b.dwScope && a.dwType == b.dwType && a.dwDisplayType == b.dwDisplayType &&
         a.dwUsage == b.dwUsage && a.lpLocalName == b.lpLocalName && a.lpRemoteName == b.lpRemoteName &&
         a.lpComment == b.lpComment && a.lpProvider == b.lpProvider;
}

}  // namespace

void HandedOutRecords::Note(std::uintptr_t handle, const void* at, const NETRESOURCEA& written,
                            lan::BrowseRecord record) {
  lan::RecordStrings<char> strings{Copied(written.lpLocalName), Copied(written.lpRemoteName), Copied(written.lpComment),
                                   Copied(written.lpProvider)};
  by_address_.insert_or_assign(at, Written{handle, written, std::move(strings), std::move(record)});
  by_handle_[handle].push_back(at);
}

void HandedOutRecords::Forget(std::uintptr_t handle) {
  const auto noted = by_handle_.find(handle);
  if (noted == by_handle_.end()) return;
  for (const void* at : noted->second) {
    // A later batch of another enumeration may have written over it.
    const auto found = by_address_.find(at);
    if (found != by_address_.end() && found->second.Handle == handle) by_address_.erase(found);
  }
  by_handle_.erase(noted);
}

const lan::BrowseRecord* HandedOutRecords::Original(const NETRESOURCEA* at) const {
  const auto found = by_address_.find(at);
  if (found == by_address_.end()) return nullptr;
  const Written& written = found->second;
  // The caller's buffer need not be aligned for the record.
  NETRESOURCEA now;
  std::memcpy(&now, at, sizeof now);
  if (!SameFields(now, written.Record) || !StillHolds(now.lpLocalName, written.Strings.LocalName) ||
      !StillHolds(now.lpRemoteName, written.Strings.RemoteName) ||
      !StillHolds(now.lpComment, written.Strings.Comment) || !StillHolds(now.lpProvider, written.Strings.Provider)) {
    return nullptr;
  }
  return &written.Original;
}

}  // namespace standin
