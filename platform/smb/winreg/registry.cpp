#include "platform/smb/winreg/registry.h"

#include <algorithm>
#include <iterator>

#include "platform/lan/utf16_text.h"
#include "platform/lan/visible_text.h"
#include "platform/smb/rpc/status.h"

namespace winreg {
namespace {

// A key whose subkey count is unknown is read ahead this far at most.
constexpr std::uint64_t kUnknownCountWindow = 32;
// A value fetch whose value keeps growing between calls gives up after
// this many tries.
constexpr int kValueFetchTries = 3;
// Answers kept per open key.
constexpr std::size_t kMostCachedValues = 4;
constexpr std::size_t kMostCachedNames = 8;

}  // namespace

DWORD Registry::Connect(rpc::PipeOpener& opener, std::u16string_view server, HKEY root, const RegistryOptions& options,
                        std::ostream& diagnostics, std::unique_ptr<Registry>& registry) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS) return ERROR_INVALID_PARAMETER;
  std::unique_ptr<rpc::MessagePipe> pipe;
  if (const DWORD status = opener.Open(server, "winreg", pipe); status != NO_ERROR) return status;
  if (!pipe) return rpc::kRpcProtocolError;
  auto session = std::make_unique<Session>(std::move(pipe), opener.CallTimeLimit());
  rpc::ContextHandle root_handle;
  if (const DWORD status = session->Connect(root, root_handle); status != NO_ERROR) return status;
  registry.reset(
      new Registry(opener, std::u16string(server), root, options, diagnostics, std::move(session), root_handle));
  return NO_ERROR;
}

DWORD ConnectRegistry(rpc::PipeOpener& opener, std::u16string_view server, HKEY root, std::ostream& diagnostics,
                      std::unique_ptr<lan::RemoteRegistry>& registry) {
  std::unique_ptr<Registry> connected;
  const DWORD status = Registry::Connect(opener, server, root, RegistryOptions{}, diagnostics, connected);
  if (status == NO_ERROR) registry = std::move(connected);
  return status;
}

Registry::Registry(rpc::PipeOpener& opener, std::u16string server, HKEY root, const RegistryOptions& options,
                   std::ostream& diagnostics, std::unique_ptr<Session> session, const rpc::ContextHandle& root_handle)
    : opener_(opener),
      server_(std::move(server)),
      root_(root),
      options_(options),
      diagnostics_(diagnostics),
      session_(std::move(session)),
      root_handle_(root_handle) {
  OpenKeyState root_state;
  root_state.Access = kMaximumAllowed;
  root_state.Handle = root_handle;
  keys_.emplace(kRootKey, std::move(root_state));
  const std::size_t lanes = std::min(options_.ReadAheadPipes, RegistryOptions::kMostReadAheadPipes);
  if (lanes != 0) {
    // Room for a window of names and a window of values, and for answers
    // that the caller left behind.
    const std::size_t most_tasks = std::max<std::size_t>(4 * options_.ReadAheadWindow, 64);
    read_ahead_ = std::make_unique<ReadAhead>(opener_, server_, root_, lanes, most_tasks);
  }
}

Registry::~Registry() = default;

RegistryCallCounts Registry::CallCounts() const {
  return {session_->CallCount(), read_ahead_ ? read_ahead_->CallCount() : 0};
}

Registry::OpenKeyState* Registry::Find(KeyId key) {
  // Once the registry's own pipe is lost, the listing has failed: the
  // read-ahead opens no more pipes.
  if (read_ahead_ && session_->Broken()) read_ahead_->Stop();
  const auto found = keys_.find(key);
  return found == keys_.end() ? nullptr : &found->second;
}

lan::RemoteRegistry::KeyId Registry::Adopt(OpenKeyState state) {
  while (next_key_ == kRootKey || keys_.count(next_key_) != 0) ++next_key_;
  keys_.emplace(next_key_, std::move(state));
  return next_key_++;
}

DWORD Registry::EnsureHandle(OpenKeyState& state) {
  if (state.Handle) return NO_ERROR;
  rpc::ContextHandle handle;
  const DWORD status = session_->OpenKey(root_handle_, state.Path, state.Access, handle);
  if (status == NO_ERROR) state.Handle = handle;
  return status;
}

DWORD Registry::OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) {
  OpenKeyState* parent_state = Find(parent);
  if (parent_state == nullptr) return ERROR_INVALID_HANDLE;
  std::u16string full_path = lan::JoinKeyPath(parent_state->Path, path);
  if (read_ahead_ && pattern_.Established && access == pattern_.Access && ListedIndex(full_path)) {
    ReadAhead::ValueAnswer answer;
    if (read_ahead_->TakeValue(full_path, access, pattern_.Value, answer)) {
      if (answer.OpenStatus != NO_ERROR) return answer.OpenStatus;
      OpenKeyState state;
      state.Path = std::move(full_path);
      state.Access = access;
      CacheValue(state, pattern_.Value, CachedValue{answer.QueryStatus, std::move(answer.Reply)});
      key = Adopt(std::move(state));
      return NO_ERROR;
    }
  }
  rpc::ContextHandle handle;
  const DWORD status = parent_state->Handle ? session_->OpenKey(*parent_state->Handle, path, access, handle)
                                            : session_->OpenKey(root_handle_, full_path, access, handle);
  if (status != NO_ERROR) return status;
  OpenKeyState state;
  state.Path = std::move(full_path);
  state.Access = access;
  state.Handle = handle;
  key = Adopt(std::move(state));
  return NO_ERROR;
}

DWORD Registry::CloseKey(KeyId key) {
  if (key == kRootKey) return ERROR_INVALID_HANDLE;
  const auto found = keys_.find(key);
  if (found == keys_.end()) return ERROR_INVALID_HANDLE;
  const std::optional<rpc::ContextHandle> handle = found->second.Handle;
  keys_.erase(found);
  return handle ? session_->CloseKey(*handle) : NO_ERROR;
}

DWORD Registry::EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) {
  OpenKeyState* state = Find(key);
  if (state == nullptr) return ERROR_INVALID_HANDLE;
  if (index >= kMostSubkeys || (state->EndIndex && index >= *state->EndIndex)) return ERROR_NO_MORE_ITEMS;
  auto cached = state->Enumerated.find(index);
  if (cached == state->Enumerated.end()) {
    CachedEnum result;
    ReadAhead::EnumAnswer answer;
    if (read_ahead_ && read_ahead_->TakeEnum(state->Path, state->Access, index, answer)) {
      result = {answer.Status, std::move(answer.Reply)};
    } else {
      if (const DWORD status = EnsureHandle(*state); status != NO_ERROR) return status;
      result.Status = session_->EnumKey(*state->Handle, index, result.Reply);
      if (!session_->LastCallAnswered()) return result.Status;
    }
    if (state->Enumerated.size() >= kMostCachedNames) state->Enumerated.erase(state->Enumerated.begin());
    cached = state->Enumerated.emplace(index, std::move(result)).first;
  }
  QueueEnumAhead(*state, index, cached->second.Status);
  if (cached->second.Status == ERROR_NO_MORE_ITEMS) state->EndIndex = std::min(state->EndIndex.value_or(index), index);
  if (cached->second.Status != NO_ERROR) return cached->second.Status;
  NoteListed(*state, index, cached->second.Reply.NameOut);
  name = cached->second.Reply.NameOut;
  last_written = cached->second.Reply.ftLastWriteTime;
  return NO_ERROR;
}

void Registry::QueueEnumAhead(OpenKeyState& state, DWORD index, DWORD status) {
  const bool sequential = state.LastEnumIndex && *state.LastEnumIndex + 1 == index;
  state.LastEnumIndex = index;
  if (!read_ahead_ || !sequential || status != NO_ERROR) return;
  std::uint64_t end = std::uint64_t{index} + 1;
  if (state.Facts && state.Facts->first == NO_ERROR) {
    end = std::max<std::uint64_t>(
        end, std::min<std::uint64_t>(end + options_.ReadAheadWindow, state.Facts->second.SubkeyCount));
  } else {
    end += std::min<std::uint64_t>(options_.ReadAheadWindow, kUnknownCountWindow);
  }
  end = std::min<std::uint64_t>(end, 0xFFFFFFFF);
  const std::uint64_t first = std::max<std::uint64_t>(state.EnumQueuedUntil, std::uint64_t{index} + 1);
  for (std::uint64_t next = first; next < end; ++next) {
    read_ahead_->QueueEnum(state.Path, state.Access, static_cast<DWORD>(next));
  }
  state.EnumQueuedUntil = static_cast<DWORD>(std::max<std::uint64_t>(state.EnumQueuedUntil, end));
}

void Registry::NoteListed(const OpenKeyState& state, DWORD index, const std::u16string& name) {
  if (!read_ahead_) return;
  if (listing_.Path != state.Path || listing_.Access != state.Access || index == 0) {
    listing_ = Listing{state.Path, state.Access, {}, {}};
    pattern_ = ValuePattern{};
  }
  // Only a listing read in order from the first subkey is followed; it
  // holds kMostSubkeys names at most, as EnumKey hands out no more.
  if (index != listing_.Names.size()) return;
  const auto entry = listing_.Index.emplace(name, listing_.Names.size()).first;
  listing_.Names.push_back(&entry->first);
}

std::optional<std::size_t> Registry::ListedIndex(std::u16string_view path) const {
  if (listing_.Names.empty()) return std::nullopt;
  std::u16string_view child = path;
  if (!listing_.Path.empty()) {
    if (path.size() <= listing_.Path.size() + 1 || path.substr(0, listing_.Path.size()) != listing_.Path ||
        path[listing_.Path.size()] != u'\\') {
      return std::nullopt;
    }
    child = path.substr(listing_.Path.size() + 1);
  }
  if (child.find(u'\\') != std::u16string_view::npos) return std::nullopt;
  const auto found = listing_.Index.find(std::u16string(child));
  if (found == listing_.Index.end()) return std::nullopt;
  return found->second;
}

void Registry::NoteValueQuery(OpenKeyState& state, const std::u16string& value) {
  // Only the first value asked of each key counts: a caller that reads
  // more values of each subkey still reads the first of them ahead.
  if (!read_ahead_ || state.ValueQueried) return;
  state.ValueQueried = true;
  const std::optional<std::size_t> index = ListedIndex(state.Path);
  if (!index) return;
  if (value != pattern_.Value || state.Access != pattern_.Access || *index <= pattern_.LastIndex) {
    pattern_ = ValuePattern{value, state.Access, *index, false, 0};
    return;
  }
  if (*index == pattern_.LastIndex + 1) pattern_.Established = true;
  pattern_.LastIndex = std::max(pattern_.LastIndex, *index);
  if (!pattern_.Established) return;
  const std::size_t end = std::min(listing_.Names.size(), pattern_.LastIndex + 1 + options_.ReadAheadWindow);
  for (std::size_t next = std::max(pattern_.QueuedUntil, pattern_.LastIndex + 1); next < end; ++next) {
    read_ahead_->QueueValue(lan::JoinKeyPath(listing_.Path, *listing_.Names[next]), pattern_.Access, pattern_.Value);
  }
  pattern_.QueuedUntil = std::max(pattern_.QueuedUntil, end);
}

void Registry::CacheValue(OpenKeyState& state, std::u16string name, CachedValue value) {
  if (state.Values.size() >= kMostCachedValues) state.Values.erase(state.Values.begin());
  state.Values.emplace_back(std::move(name), std::move(value));
}

DWORD Registry::FetchValue(OpenKeyState& state, const std::u16string& name, std::uint32_t room, CachedValue& value) {
  if (const DWORD status = EnsureHandle(state); status != NO_ERROR) return status;
  value.Status = session_->QueryValue(*state.Handle, name, room, value.Reply);
  return session_->LastCallAnswered() ? NO_ERROR : value.Status;
}

DWORD Registry::QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                           std::string& data) {
  OpenKeyState* state = Find(key);
  if (state == nullptr) return ERROR_INVALID_HANDLE;
  const std::u16string value_name(name);
  NoteValueQuery(*state, value_name);
  auto cached = std::find_if(state->Values.begin(), state->Values.end(),
                             [&](const auto& entry) { return entry.first == value_name; });
  if (cached == state->Values.end()) {
    CachedValue fetched;
    if (const DWORD status = FetchValue(*state, value_name, ReadAhead::kValueRoom, fetched); status != NO_ERROR) {
      return status;
    }
    CacheValue(*state, value_name, std::move(fetched));
    cached = std::prev(state->Values.end());
  }
  CachedValue& value = cached->second;
  for (int tries = 0; fetch_data && tries < kValueFetchTries &&
                      (value.Status == ERROR_MORE_DATA || (value.Status == NO_ERROR && !value.Reply.HasData));
       ++tries) {
    // The value is larger than the room of the first query: ask again with
    // room for all of it.
    if (value.Reply.cbData > lan::kMaxValueData) return ERROR_NOT_ENOUGH_MEMORY;
    CachedValue again;
    if (const DWORD status = FetchValue(*state, value_name, std::max<DWORD>(value.Reply.cbData, 2), again);
        status != NO_ERROR) {
      return status;
    }
    value = std::move(again);
  }
  if (value.Status != NO_ERROR && !(value.Status == ERROR_MORE_DATA && !fetch_data)) return value.Status;
  if (fetch_data && !value.Reply.HasData) return rpc::kRpcBadStubData;
  type = value.Reply.Type;
  size = value.Reply.cbData;
  if (fetch_data) data = value.Reply.Data;
  return NO_ERROR;
}

DWORD Registry::QueryKeyFacts(KeyId key, lan::KeyFacts& facts) {
  OpenKeyState* state = Find(key);
  if (state == nullptr) return ERROR_INVALID_HANDLE;
  if (!state->Facts) {
    if (const DWORD status = EnsureHandle(*state); status != NO_ERROR) return status;
    QueryInfoKeyReply reply;
    const DWORD status = session_->QueryInfoKey(*state->Handle, reply);
    if (!session_->LastCallAnswered()) return status;
    state->Facts.emplace(status, status == NO_ERROR ? Bounded(*state, reply) : lan::KeyFacts{});
  }
  if (state->Facts->first != NO_ERROR) return state->Facts->first;
  facts = state->Facts->second;
  return NO_ERROR;
}

lan::KeyFacts Registry::Bounded(const OpenKeyState& state, const QueryInfoKeyReply& reply) const {
  lan::KeyFacts facts;
  facts.SubkeyCount = reply.cSubKeys;
  facts.LongestSubkeyName = std::min<DWORD>(reply.cbMaxSubKeyLen, kLongestKeyName);
  facts.ValueCount = reply.cValues;
  facts.LongestValueName = std::min(reply.cbMaxValueNameLen, kLongestValueName);
  facts.LongestValueData = reply.cbMaxValueLen;
  facts.LastWritten = reply.ftLastWriteTime;
  if (facts.SubkeyCount > kMostSubkeys) {
    std::u16string key = root_ == HKEY_USERS ? u"HKEY_USERS" : u"HKEY_LOCAL_MACHINE";
    if (!state.Path.empty()) key += u"\\" + state.Path;
    diagnostics_ << "kestrova: \\\\" << lan::VisibleText(lan::Utf8FromUtf16(server_)) << ": "
                 << lan::VisibleText(lan::Utf8FromUtf16(key)) << ": the server counts " << facts.SubkeyCount
                 << " subkeys; only the first " << kMostSubkeys << " are listed\n";
    diagnostics_.flush();
    facts.SubkeyCount = kMostSubkeys;
  }
  return facts;
}

}  // namespace winreg
