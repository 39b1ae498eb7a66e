#include "platform/smb/winreg/read_ahead.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/smb/winreg/session.h"

namespace winreg {

// One lane's association and the key whose subkeys it last enumerated.
class LaneSession {
 public:
  // What became of a task.
  enum class Outcome {
    kAnswered,   // the registry's answer, for the caller to take
    kDropped,    // no answer for the caller, who asks on its own pipe; the lane is in step
    kOutOfStep,  // a call was not answered: the association may be out of step
  };

  LaneSession(std::unique_ptr<rpc::MessagePipe> pipe, std::chrono::milliseconds time_limit)
      : session_(std::move(pipe), time_limit) {}

  DWORD Connect(HKEY root) { return session_.Connect(root, root_); }
  std::uint64_t CallCount() const { return session_.CallCount(); }

  Outcome Enum(const std::u16string& path, REGSAM access, DWORD index, ReadAhead::EnumAnswer& answer) {
    if (!enum_key_open_ || enum_path_ != path || enum_access_ != access) {
      if (enum_key_open_ && !enum_path_.empty()) session_.CloseKey(enum_key_);
      enum_key_open_ = false;
      if (refused_ && refused_->first == path && refused_->second == access) return Outcome::kDropped;
      if (path.empty()) {
        enum_key_ = root_;
      } else if (session_.OpenKey(root_, path, access, enum_key_) != NO_ERROR) {
        if (!session_.LastCallAnswered()) return Outcome::kOutOfStep;
        // The registry's answer to this pipe's open (access denied, say),
        // not to the names, whose key the caller has open: the caller
        // asks for them itself, and the key is not asked for again.
        refused_.emplace(path, access);
        return Outcome::kDropped;
      }
      enum_key_open_ = true;
      enum_path_ = path;
      enum_access_ = access;
    }
    answer.Status = session_.EnumKey(enum_key_, index, answer.Reply);
    return session_.LastCallAnswered() ? Outcome::kAnswered : Outcome::kOutOfStep;
  }

  Outcome Value(const std::u16string& key_path, REGSAM access, const std::u16string& value,
                ReadAhead::ValueAnswer& answer) {
    rpc::ContextHandle key;
    answer.OpenStatus = session_.OpenKey(root_, key_path, access, key);
    if (!session_.LastCallAnswered()) return Outcome::kOutOfStep;
    // A refused open answers the caller's open of the same key.
    if (answer.OpenStatus != NO_ERROR) return Outcome::kAnswered;
    answer.QueryStatus = session_.QueryValue(key, value, ReadAhead::kValueRoom, answer.Reply);
    const bool answered = session_.LastCallAnswered();
    // The close waits until the lane has nothing else to do, off the
    // path of the answers, unless too many keys wait for it.
    unclosed_.push_back(key);
    if (unclosed_.size() > kMostUnclosedKeys) CloseOne();
    return answered ? Outcome::kAnswered : Outcome::kOutOfStep;
  }

  bool HasUnclosedKeys() const { return !unclosed_.empty(); }

  // Closes one key whose close was put off; false when the pipe failed.
  bool CloseOne() {
    const rpc::ContextHandle key = unclosed_.back();
    unclosed_.pop_back();
    const DWORD status = session_.CloseKey(key);
    return status == NO_ERROR || session_.LastCallAnswered();
  }

 private:
  Session session_;
  rpc::ContextHandle root_;
  bool enum_key_open_ = false;
  std::u16string enum_path_;
  REGSAM enum_access_ = 0;
  rpc::ContextHandle enum_key_;
  // The key last refused to the lane's enumeration, and its access.
  std::optional<std::pair<std::u16string, REGSAM>> refused_;
  // Keys opened for a value whose close was put off. Those still open when
  // the lane stops are closed by the server with the association.
  static constexpr std::size_t kMostUnclosedKeys = 64;
  std::vector<rpc::ContextHandle> unclosed_;
};

ReadAhead::ReadAhead(rpc::PipeOpener& opener, std::u16string server, HKEY root, std::size_t lanes,
                     std::size_t most_tasks)
    : opener_(opener), server_(std::move(server)), root_(root), lane_count_(lanes), most_tasks_(most_tasks) {}

ReadAhead::~ReadAhead() {
  Stop();
  for (std::thread& lane : lanes_) lane.join();
}

void ReadAhead::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
}

void ReadAhead::StartLanes() {
  live_lanes_ = lane_count_;
  for (std::size_t index = 0; index < lane_count_; ++index) lanes_.emplace_back([this] { RunLane(); });
}

void ReadAhead::Queue(TaskKey key) {
  {
    std::lock_guard lock(mutex_);
    if (lane_count_ == 0 || stopping_) return;
    if (lanes_.empty()) StartLanes();
    if (live_lanes_ == 0) return;
    if (tasks_.size() >= most_tasks_) {
      // Answers that the client never took (it left the listing, or asked
      // before a lane started) make room; without room nothing is queued.
      std::erase_if(tasks_, [](const auto& task) {
        return task.second.Status == State::kDone || task.second.Status == State::kFailed;
      });
      if (tasks_.size() >= most_tasks_) return;
    }
    if (!tasks_.try_emplace(key).second) return;
    queue_.push_back(std::move(key));
  }
  // Idle lanes and lanes not yet opened both wait for work.
  work_ready_.notify_all();
}

void ReadAhead::QueueEnum(const std::u16string& path, REGSAM access, DWORD index) {
  Queue({Kind::kEnum, path, access, index, {}});
}

void ReadAhead::QueueValue(const std::u16string& key_path, REGSAM access, const std::u16string& value) {
  Queue({Kind::kValue, key_path, access, 0, value});
}

bool ReadAhead::Take(const TaskKey& key, Task& task) {
  std::unique_lock lock(mutex_);
  const auto found = tasks_.find(key);
  if (found == tasks_.end()) return false;
  // A queued task is withdrawn (its queue entry is skipped by the lanes).
  task_finished_.wait(lock, [&] { return found->second.Status != State::kRunning; });
  const bool done = found->second.Status == State::kDone;
  if (done) task = std::move(found->second);
  tasks_.erase(found);
  return done;
}

bool ReadAhead::TakeEnum(const std::u16string& path, REGSAM access, DWORD index, EnumAnswer& answer) {
  Task task;
  if (!Take({Kind::kEnum, path, access, index, {}}, task)) return false;
  answer = std::move(task.Enum);
  return true;
}

bool ReadAhead::TakeValue(const std::u16string& key_path, REGSAM access, const std::u16string& value,
                          ValueAnswer& answer) {
  Task task;
  if (!Take({Kind::kValue, key_path, access, 0, value}, task)) return false;
  answer = std::move(task.Value);
  return true;
}

std::uint64_t ReadAhead::CallCount() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::unique_ptr<LaneSession> ReadAhead::OpenLane() {
  while (true) {
    {
      std::unique_lock lock(mutex_);
      work_ready_.wait(lock, [&] { return stopping_ || opening_failed_ || !queue_.empty(); });
      if (stopping_ || opening_failed_) return nullptr;
    }
    // Lanes open their pipes one at a time: the opener promises pipes that
    // work in parallel, not that it may itself be called in parallel.
    std::lock_guard open_lock(open_mutex_);
    {
      // Only for work that is still waiting, and never once the registry
      // stops or a lane could not be opened: the server refuses or stalls
      // new sessions.
      std::lock_guard lock(mutex_);
      if (stopping_ || opening_failed_) return nullptr;
      if (queue_.empty()) continue;
    }
    std::unique_ptr<rpc::MessagePipe> pipe;
    std::unique_ptr<LaneSession> session;
    if (opener_.Open(server_, "winreg", pipe) == NO_ERROR && pipe) {
      session = std::make_unique<LaneSession>(std::move(pipe), opener_.CallTimeLimit());
      if (session->Connect(root_) != NO_ERROR) session.reset();
    }
    if (session) return session;
    {
      std::lock_guard lock(mutex_);
      opening_failed_ = true;
    }
    work_ready_.notify_all();
    return nullptr;
  }
}

void ReadAhead::RunLane() {
  std::unique_ptr<LaneSession> session = OpenLane();
  std::uint64_t counted = 0;
  std::unique_lock lock(mutex_);
  while (session) {
    if (queue_.empty() && !stopping_ && session->HasUnclosedKeys()) {
      lock.unlock();
      const bool closed = session->CloseOne();
      lock.lock();
      calls_ += session->CallCount() - counted;
      counted = session->CallCount();
      if (!closed) break;
      continue;
    }
    work_ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) break;
    TaskKey key = std::move(queue_.front());
    queue_.pop_front();
    const auto found = tasks_.find(key);
    if (found == tasks_.end() || found->second.Status != State::kQueued) continue;
    found->second.Status = State::kRunning;
    lock.unlock();
    Task result;
    const auto& [kind, path, access, index, value] = key;
    const LaneSession::Outcome outcome = kind == Kind::kEnum ? session->Enum(path, access, index, result.Enum)
                                                             : session->Value(path, access, value, result.Value);
    result.Status = outcome == LaneSession::Outcome::kAnswered ? State::kDone : State::kFailed;
    lock.lock();
    calls_ += session->CallCount() - counted;
    counted = session->CallCount();
    // The task stays in the table while it runs: Take waits for it.
    tasks_[key] = std::move(result);
    task_finished_.notify_all();
    // A lane whose call was not answered may be out of step: it stops.
    if (outcome == LaneSession::Outcome::kOutOfStep) break;
  }
  --live_lanes_;
  if (live_lanes_ == 0) {
    // Nothing will run what is still queued: the client asks itself.
    for (const TaskKey& key : queue_) {
      const auto found = tasks_.find(key);
      if (found != tasks_.end() && found->second.Status == State::kQueued) found->second.Status = State::kFailed;
    }
    queue_.clear();
    task_finished_.notify_all();
  }
  lock.unlock();
  session.reset();
}

}  // namespace winreg
