#include "platform/smb/computers_read_ahead.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <streambuf>
#include <utility>

#include "platform/ascii_case.h"
#include "platform/lan/uninstall_listing.h"
#include "platform/smb/library_messages.h"
#include "platform/smb/smb_errors.h"

namespace smb {
namespace {

using KeyId = lan::RemoteRegistry::KeyId;

// One registry call, as the reading thread and the program make it.
struct Call {
  enum class Kind : std::uint8_t { kOpen, kEnum, kValue, kFacts, kClose };
  Kind What = Kind::kOpen;
  std::u16string Path;  // the key's from the root; for an open, the opened key's
  REGSAM Access = 0;    // an open's
  DWORD Index = 0;      // a subkey name's
  std::u16string Value;
  bool Fetch = false;

  bool operator==(const Call&) const = default;
};

Call OpenCall(std::u16string path, REGSAM access) {
  Call call;
  call.Path = std::move(path);
  call.Access = access;
  return call;
}
Call KeyCall(Call::Kind what, std::u16string path) {
  Call call;
  call.What = what;
  call.Path = std::move(path);
  return call;
}
Call EnumCall(std::u16string path, DWORD index) {
  Call call = KeyCall(Call::Kind::kEnum, std::move(path));
  call.Index = index;
  return call;
}
Call ValueCall(std::u16string path, std::u16string_view value, bool fetch) {
  Call call = KeyCall(Call::Kind::kValue, std::move(path));
  call.Value = std::u16string(value);
  call.Fetch = fetch;
  return call;
}

struct Answer {
  Call Asked;
  DWORD Status = NO_ERROR;
  std::u16string Name;
  FILETIME Written{};
  DWORD Type = REG_NONE;
  DWORD Size = 0;
  std::string Data;
  lan::KeyFacts Facts;
  std::size_t MessagesUntil = 0;  // the computer's messages made by then

  std::size_t Bytes() const {
    return sizeof(Answer) + 2 * (Asked.Path.size() + Asked.Value.size() + Name.size()) + Data.size();
  }
};

}  // namespace

// What the registry of a computer read ahead says, held until its turn.
class ComputersReadAhead::HeldMessages : public std::streambuf {
 public:
  HeldMessages(std::mutex& mutex, std::string& text) : mutex_(mutex), text_(text) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const std::lock_guard lock(mutex_);
    text_.push_back(traits_type::to_char_type(c));
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize count) override {
    const std::lock_guard lock(mutex_);
    text_.append(s, static_cast<std::size_t>(count));
    return count;
  }

 private:
  std::mutex& mutex_;
  std::string& text_;
};

struct ComputersReadAhead::Computer {
  Computer(std::u16string name, std::mutex& mutex) : Name(std::move(name)), Buffer(mutex, Messages) {}

  const std::u16string Name;
  // Guarded by the read-ahead's mutex, as is everything below.
  std::string Messages;
  std::size_t Released = 0;
  HeldMessages Buffer;
  std::ostream Diagnostics{&Buffer};
  bool Connected = false;
  DWORD ConnectStatus = NO_ERROR;
  std::size_t ConnectMessages = 0;
  std::deque<Answer> Answers;
  std::size_t Bytes = 0;
  bool Reached = false;
  bool Dropped = false;
  bool Finished = false;
  // The connection, handed over by the reading thread once it finished.
  std::unique_ptr<lan::RemoteRegistry> Live;
};

// The registry as the reading thread sees it: every call goes to the
// connection and its answer is kept.
class ComputersReadAhead::Recorder : public lan::RemoteRegistry {
 public:
  Recorder(ComputersReadAhead& owner, Computer& computer, lan::RemoteRegistry& live)
      : owner_(owner), computer_(computer), live_(live) {
    paths_[kRootKey] = u"";
  }

  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override {
    Answer answer;
    answer.Asked = OpenCall(lan::JoinKeyPath(PathOf(parent), path), access);
    if (!Proceed()) return kErrorCancelled;
    answer.Status = live_.OpenKey(parent, path, access, key);
    if (answer.Status == NO_ERROR) paths_[key] = answer.Asked.Path;
    return Keep(std::move(answer));
  }

  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override {
    Answer answer;
    answer.Asked = EnumCall(PathOf(key), index);
    if (!Proceed()) return kErrorCancelled;
    answer.Status = live_.EnumKey(key, index, answer.Name, answer.Written);
    name = answer.Name;
    last_written = answer.Written;
    return Keep(std::move(answer));
  }

  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override {
    Answer answer;
    answer.Asked = ValueCall(PathOf(key), name, fetch_data);
    if (!Proceed()) return kErrorCancelled;
    answer.Status = live_.QueryValue(key, name, fetch_data, answer.Type, answer.Size, answer.Data);
    type = answer.Type;
    size = answer.Size;
    data = answer.Data;
    return Keep(std::move(answer));
  }

  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override {
    Answer answer;
    answer.Asked = KeyCall(Call::Kind::kFacts, PathOf(key));
    if (!Proceed()) return kErrorCancelled;
    answer.Status = live_.QueryKeyFacts(key, answer.Facts);
    facts = answer.Facts;
    return Keep(std::move(answer));
  }

  DWORD CloseKey(KeyId key) override {
    Answer answer;
    answer.Asked = KeyCall(Call::Kind::kClose, PathOf(key));
    if (!Proceed()) return kErrorCancelled;
    answer.Status = live_.CloseKey(key);
    paths_.erase(key);
    return Keep(std::move(answer));
  }

 private:
  std::u16string PathOf(KeyId key) const {
    const auto found = paths_.find(key);
    return found == paths_.end() ? u"?" : found->second;
  }

  // Waits while the answers held are at the cap; false once the reading
  // is to end.
  bool Proceed() {
    std::unique_lock lock(owner_.mutex_);
    owner_.changed_.wait(lock, [&] {
      if (owner_.stopping_ || computer_.Dropped || computer_.Answers.empty()) return true;
      const std::size_t held = computer_.Reached ? computer_.Bytes : owner_.unreached_bytes_;
      return held < owner_.held_bytes_;
    });
    return !owner_.stopping_ && !computer_.Dropped;
  }

  DWORD Keep(Answer answer) {
    const DWORD status = answer.Status;
    {
      const std::lock_guard lock(owner_.mutex_);
      if (owner_.stopping_ || computer_.Dropped) return status;
      answer.MessagesUntil = computer_.Messages.size();
      const std::size_t bytes = answer.Bytes();
      computer_.Bytes += bytes;
      if (!computer_.Reached) {
        owner_.unreached_bytes_ += bytes;
        owner_.peak_bytes_ = std::max(owner_.peak_bytes_, owner_.unreached_bytes_);
      }
      computer_.Answers.push_back(std::move(answer));
    }
    owner_.changed_.notify_all();
    return status;
  }

  ComputersReadAhead& owner_;
  Computer& computer_;
  lan::RemoteRegistry& live_;
  std::map<KeyId, std::u16string> paths_;
};

// The registry that the program gets for a computer read ahead.
class ComputersReadAhead::Replay : public lan::RemoteRegistry {
 public:
  Replay(ComputersReadAhead& owner, std::shared_ptr<Computer> computer)
      : owner_(owner), computer_(std::move(computer)) {
    keys_[kRootKey] = {u"", 0, kRootKey};
  }

  ~Replay() override {
    {
      const std::lock_guard lock(owner_.mutex_);
      owner_.Drop(*computer_);
    }
    owner_.changed_.notify_all();
  }

  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override {
    const auto found = keys_.find(parent);
    if (found == keys_.end()) return ERROR_INVALID_HANDLE;
    std::u16string full = lan::JoinKeyPath(found->second.Path, path);
    Answer answer;
    if (Answered(OpenCall(full, access), answer)) {
      if (answer.Status == NO_ERROR) key = Adopt({std::move(full), access, std::nullopt});
      return answer.Status;
    }
    KeyId live_parent = kRootKey;
    if (const DWORD status = LiveKey(found->second, live_parent); status != NO_ERROR) return status;
    KeyId live_key = kRootKey;
    const DWORD status = Live().OpenKey(live_parent, path, access, live_key);
    ReleaseAll();
    if (status == NO_ERROR) key = Adopt({std::move(full), access, live_key});
    return status;
  }

  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override {
    const auto found = keys_.find(key);
    if (found == keys_.end()) return ERROR_INVALID_HANDLE;
    Answer answer;
    if (Answered(EnumCall(found->second.Path, index), answer)) {
      if (answer.Status == NO_ERROR) {
        name = std::move(answer.Name);
        last_written = answer.Written;
      }
      return answer.Status;
    }
    return OnLive(found->second, [&](KeyId live) { return Live().EnumKey(live, index, name, last_written); });
  }

  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override {
    const auto found = keys_.find(key);
    if (found == keys_.end()) return ERROR_INVALID_HANDLE;
    Answer answer;
    if (Answered(ValueCall(found->second.Path, name, fetch_data), answer)) {
      if (answer.Status == NO_ERROR) {
        type = answer.Type;
        size = answer.Size;
        if (fetch_data) data = std::move(answer.Data);
      }
      return answer.Status;
    }
    return OnLive(found->second,
                  [&](KeyId live) { return Live().QueryValue(live, name, fetch_data, type, size, data); });
  }

  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override {
    const auto found = keys_.find(key);
    if (found == keys_.end()) return ERROR_INVALID_HANDLE;
    Answer answer;
    if (Answered(KeyCall(Call::Kind::kFacts, found->second.Path), answer)) {
      if (answer.Status == NO_ERROR) facts = answer.Facts;
      return answer.Status;
    }
    return OnLive(found->second, [&](KeyId live) { return Live().QueryKeyFacts(live, facts); });
  }

  DWORD CloseKey(KeyId key) override {
    const auto found = keys_.find(key);
    if (key == kRootKey || found == keys_.end()) return ERROR_INVALID_HANDLE;
    const KeyState state = std::move(found->second);
    keys_.erase(found);
    Answer answer;
    if (Answered(KeyCall(Call::Kind::kClose, state.Path), answer)) return answer.Status;
    if (!state.Live) return NO_ERROR;
    const DWORD status = Live().CloseKey(*state.Live);
    ReleaseAll();
    return status;
  }

 private:
  struct KeyState {
    std::u16string Path;
    REGSAM Access = 0;
    std::optional<KeyId> Live;  // the key on the connection, once opened there
  };

  KeyId Adopt(KeyState state) {
    while (next_key_ == kRootKey || keys_.count(next_key_) != 0) ++next_key_;
    keys_.emplace(next_key_, std::move(state));
    return next_key_++;
  }

  // True with the answer kept for `call` when it is the next one kept.
  // Otherwise the reading ends here: what is kept is dropped, and once
  // the reading thread finished its call, the connection is the caller's.
  bool Answered(const Call& call, Answer& answer) {
    std::unique_lock lock(owner_.mutex_);
    if (!on_live_) {
      Computer& computer = *computer_;
      owner_.changed_.wait(lock, [&] { return !computer.Answers.empty() || computer.Finished || owner_.stopping_; });
      if (!computer.Answers.empty() && computer.Answers.front().Asked == call) {
        answer = std::move(computer.Answers.front());
        computer.Answers.pop_front();
        computer.Bytes -= std::min(computer.Bytes, answer.Bytes());
        owner_.Release(computer, answer.MessagesUntil);
        lock.unlock();
        owner_.changed_.notify_all();
        return true;
      }
      owner_.Drop(computer);
      owner_.changed_.notify_all();
      owner_.changed_.wait(lock, [&] { return computer.Finished || owner_.stopping_; });
      on_live_ = true;
      if (computer.Finished) live_ = computer.Live.get();
    }
    owner_.Release(*computer_, computer_->Messages.size());
    return false;
  }

  lan::RemoteRegistry& Live() { return *live_; }

  // The key on the connection, opened there by its path if need be.
  DWORD LiveKey(KeyState& state, KeyId& live) {
    if (live_ == nullptr) return kErrorCancelled;
    if (!state.Live) {
      KeyId opened = kRootKey;
      const DWORD status = Live().OpenKey(kRootKey, state.Path, state.Access, opened);
      ReleaseAll();
      if (status != NO_ERROR) return status;
      state.Live = opened;
    }
    live = *state.Live;
    return NO_ERROR;
  }

  template <class Call>
  DWORD OnLive(KeyState& state, Call call) {
    KeyId live = kRootKey;
    if (const DWORD status = LiveKey(state, live); status != NO_ERROR) return status;
    const DWORD status = call(live);
    ReleaseAll();
    return status;
  }

  void ReleaseAll() {
    const std::lock_guard lock(owner_.mutex_);
    owner_.Release(*computer_, computer_->Messages.size());
  }

  ComputersReadAhead& owner_;
  std::shared_ptr<Computer> computer_;
  std::map<KeyId, KeyState> keys_;
  KeyId next_key_ = 1;
  bool on_live_ = false;
  lan::RemoteRegistry* live_ = nullptr;  // the connection, once the calls go to it
};

ComputersReadAhead::ComputersReadAhead(std::vector<std::u16string> order, std::size_t computers, Connect connect,
                                       std::function<void()> cancel, std::ostream& diagnostics, std::size_t held_bytes)
    : order_(std::move(order)),
      computers_(std::max<std::size_t>(computers, 1)),
      connect_(std::move(connect)),
      cancel_(std::move(cancel)),
      diagnostics_(diagnostics),
      held_bytes_(held_bytes) {}

ComputersReadAhead::~ComputersReadAhead() { Stop(); }

void ComputersReadAhead::Stop() {
  bool stopped_before = false;
  {
    const std::lock_guard lock(mutex_);
    stopped_before = stopping_;
    stopping_ = true;
  }
  changed_.notify_all();
  if (cancel_ && !stopped_before) cancel_();
  std::vector<std::pair<std::shared_ptr<Computer>, std::thread>> threads;
  {
    const std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (auto& [computer, thread] : threads) thread.join();
}

std::size_t ComputersReadAhead::PeakHeldBytes() const {
  const std::lock_guard lock(mutex_);
  return peak_bytes_;
}

bool ComputersReadAhead::Take(std::u16string_view machine, DWORD& status,
                              std::unique_ptr<lan::RemoteRegistry>& registry) {
  JoinFinished();
  std::unique_lock lock(mutex_);
  if (stopping_) return false;
  // The next computer of the order is the one expected; a name found only
  // before it is read again, as a new turn.
  std::optional<std::size_t> position;
  for (std::size_t step = 0; step < order_.size() && !position; ++step) {
    const std::size_t candidate = (next_ + step) % order_.size();
    if (ascii_case::Same(std::u16string_view(order_[candidate]), machine)) position = candidate;
  }
  if (!position) return false;
  // Computers passed over are not listed: what was read of them goes.
  for (auto it = ahead_.begin(); it != ahead_.end() && it->first <= *position;) {
    if (it->first == *position) {
      ++it;
      continue;
    }
    Drop(*it->second);
    it = ahead_.erase(it);
  }
  next_ = *position + 1;
  for (std::size_t ahead = *position; ahead < order_.size() && ahead < *position + computers_; ++ahead) {
    if (ahead_.count(ahead) == 0) Start(ahead);
  }
  const std::shared_ptr<Computer> computer = ahead_.at(*position);
  ahead_.erase(*position);
  computer->Reached = true;
  unreached_bytes_ -= std::min(unreached_bytes_, computer->Bytes);
  changed_.notify_all();
  changed_.wait(lock, [&] { return computer->Connected || stopping_; });
  if (!computer->Connected) return false;
  Release(*computer, computer->ConnectMessages);
  status = computer->ConnectStatus;
  if (status != NO_ERROR) {
    Drop(*computer);
    return true;
  }
  lock.unlock();
  registry = std::make_unique<Replay>(*this, computer);
  return true;
}

void ComputersReadAhead::Start(std::size_t position) {
  auto computer = std::make_shared<Computer>(order_[position], mutex_);
  ahead_.emplace(position, computer);
  threads_.emplace_back(computer, std::thread([this, computer] { Read(computer); }));
}

void ComputersReadAhead::Read(const std::shared_ptr<Computer>& computer) {
  ShowLibraryMessagesOfThisThreadOn(&computer->Diagnostics);
  std::unique_ptr<lan::RemoteRegistry> live;
  DWORD status = kErrorCancelled;
  {
    std::unique_lock lock(mutex_);
    const bool go = !stopping_ && !computer->Dropped;
    lock.unlock();
    if (go) status = connect_(computer->Name, computer->Diagnostics, live);
    lock.lock();
    computer->Connected = true;
    computer->ConnectStatus = status;
    computer->ConnectMessages = computer->Messages.size();
  }
  changed_.notify_all();
  if (status == NO_ERROR && live != nullptr) {
    Recorder recorder(*this, *computer, *live);
    lan::ListUninstallKey(recorder);
  }
  ShowLibraryMessagesOfThisThreadOn(nullptr);
  {
    const std::lock_guard lock(mutex_);
    computer->Live = std::move(live);
    computer->Finished = true;
  }
  changed_.notify_all();
}

void ComputersReadAhead::Drop(Computer& computer) {
  if (!computer.Reached) unreached_bytes_ -= std::min(unreached_bytes_, computer.Bytes);
  computer.Dropped = true;
  computer.Answers.clear();
  computer.Bytes = 0;
}

void ComputersReadAhead::Release(Computer& computer, std::size_t until) {
  until = std::min(until, computer.Messages.size());
  if (until <= computer.Released) return;
  diagnostics_.write(computer.Messages.data() + computer.Released,
                     static_cast<std::streamsize>(until - computer.Released));
  diagnostics_.flush();
  computer.Released = until;
}

void ComputersReadAhead::JoinFinished() {
  // Joined and destroyed outside the lock: a computer's connection may be
  // the last thing that its entry holds.
  std::vector<std::pair<std::shared_ptr<Computer>, std::thread>> finished;
  {
    const std::lock_guard lock(mutex_);
    for (auto it = threads_.begin(); it != threads_.end();) {
      if (it->first->Finished) {
        finished.push_back(std::move(*it));
        it = threads_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& [computer, thread] : finished) thread.join();
}

}  // namespace smb
