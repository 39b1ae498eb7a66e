// Reads ahead of a registry client over several pipes of its own, each
// its own RPC association with its own root and key handles, each served
// by one thread. The client queues what it expects to be asked next (the
// names of a key's following subkeys; a value of the following subkeys)
// and later takes the answers, which are the registry's answers as read at
// the time the read-ahead read them.
//
// Only the registry's own answers are kept: a task whose pipe failed, or
// whose reply could not be read, is dropped, and the client asks on its own
// pipe; so are the names of a key that the registry refuses to open for a
// lane, since the refusal answers no question of the client, who has the
// key open. A lane whose call went unanswered stops; one that was refused a
// key goes on. A task still queued when the client asks for it is withdrawn, so
// that the client never waits for a lane that has not started it. At most
// `most_tasks` tasks are held, queued or answered.
//
// A lane opens its pipe only while work waits for it, one lane at a time,
// and none once the read-ahead was stopped or a lane's pipe could not be
// opened or bound. Stop (and the destructor, which joins every lane thread)
// so waits at most for the open under way and the calls in flight, each
// within its time limit.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/winreg/messages.h"
#include "platform/windows_api.h"

namespace winreg {

// One lane's association (read_ahead.cpp).
class LaneSession;

class ReadAhead {
 public:
  // A subkey name as EnumKey gives it.
  struct EnumAnswer {
    DWORD Status = NO_ERROR;
    EnumKeyReply Reply;
  };
  // The open of a key and one query of a value in it.
  struct ValueAnswer {
    DWORD OpenStatus = NO_ERROR;
    DWORD QueryStatus = NO_ERROR;
    QueryValueReply Reply;
  };

  ReadAhead(rpc::PipeOpener& opener, std::u16string server, HKEY root, std::size_t lanes, std::size_t most_tasks);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Queues the names of subkeys `index` of the key at `path` (from the
  // root), opened with `access`.
  void QueueEnum(const std::u16string& path, REGSAM access, DWORD index);
  // Queues the open of `key_path` with `access` and the query of `value`
  // in it, with room for kValueRoom bytes of data.
  void QueueValue(const std::u16string& key_path, REGSAM access, const std::u16string& value);

  // The answer of a queued task: true with the answer once a lane has it
  // (waiting while a lane works on it); false when the task was not
  // queued, was withdrawn before it started, or failed.
  bool TakeEnum(const std::u16string& path, REGSAM access, DWORD index, EnumAnswer& answer);
  bool TakeValue(const std::u16string& key_path, REGSAM access, const std::u16string& value, ValueAnswer& answer);

  // Ends the read-ahead: nothing more is queued or opened, and what is
  // still queued is dropped.
  void Stop();

  // RPC calls made by the lanes so far, binds not counted.
  std::uint64_t CallCount() const;
  // The data room of a query read ahead: enough for the usual value.
  static constexpr std::uint32_t kValueRoom = 8192;

 private:
  enum class Kind { kEnum, kValue };
  using TaskKey = std::tuple<Kind, std::u16string, REGSAM, DWORD, std::u16string>;
  enum class State { kQueued, kRunning, kDone, kFailed };
  struct Task {
    State Status = State::kQueued;
    EnumAnswer Enum;
    ValueAnswer Value;
  };

  void Queue(TaskKey key);
  bool Take(const TaskKey& key, Task& task);
  void StartLanes();
  std::unique_ptr<LaneSession> OpenLane();
  void RunLane();

  rpc::PipeOpener& opener_;
  const std::u16string server_;
  const HKEY root_;
  const std::size_t lane_count_;
  const std::size_t most_tasks_;

  std::mutex open_mutex_;
  mutable std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable task_finished_;
  std::deque<TaskKey> queue_;
  std::map<TaskKey, Task> tasks_;
  std::vector<std::thread> lanes_;
  std::size_t live_lanes_ = 0;
  bool stopping_ = false;
  bool opening_failed_ = false;
  std::uint64_t calls_ = 0;
};

}  // namespace winreg
