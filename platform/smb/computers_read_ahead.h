// Reads the registries of the computers that the program will list next
// while it lists the one before them. Discovery is complete before the
// first registry is connected, so the order of the computers is known: when
// the program reaches computer k, the computers k to k + P - 1 of that
// order are read at once, each by a thread of its own that makes the
// inventory's calls (platform/lan/uninstall_listing.h) over its own
// connection and keeps every answer, in order.
//
// The program's registry for a computer read ahead answers each call from
// the next answer kept, when that answer is to the same call: then the
// result, the bytes and the error code are the ones that the registry gave.
// The first call that is not the next one kept (a call that the inventory
// does not make) drops what is kept and what is still being read, and this
// and every later call go to the connection as they would without reading
// ahead: a key is then opened on it by its path where the program holds it.
//
// What the registry says on the diagnostics stream while a computer is read
// ahead (and libsmbclient's own messages from its thread) is held with the
// answers and released when the program takes the answer of the call that
// made it, so that messages come out in the order and at the turn that
// reading one computer at a time gives them.
//
// Bounds:
//  - at most P computers are read at once, the one listed included, each
//    over its registry's pipes (at most 1 + 8, winreg/registry.h);
//  - the answers held for computers that the program has not reached take
//    at most `held_bytes` (a call more per computer, since a call is only
//    started below the cap): a thread that finds the cap reached waits,
//    before its next call, until the program takes or drops answers. The
//    computer being listed is held to the same cap on its own;
//  - a computer that the program passes over is dropped; one found
//    nowhere in the order is connected by the caller as without reading
//    ahead.
// Stop (and the destructor) ends the reading: no call is started after it,
// `cancel` is called to end the opens and transfers under way (every
// network wait also ends within its own time limit), and the threads are
// joined.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/lan/lan_source.h"

namespace smb {

class ComputersReadAhead {
 public:
  // Connects the registry of `machine` at HKEY_LOCAL_MACHINE; what the
  // registry says goes to `diagnostics`. The connect reports nothing itself.
  using Connect = std::function<DWORD(std::u16string_view machine, std::ostream& diagnostics,
                                      std::unique_ptr<lan::RemoteRegistry>& registry)>;

  // Bytes of answers held for computers that the program has not reached.
  static constexpr std::size_t kMostHeldBytes = 64 << 20;

  // `order`: the computers' names in the order that the program reaches
  // them; `computers`: P (at least 2); held messages are released to
  // `diagnostics`, which must outlive the read-ahead.
  ComputersReadAhead(std::vector<std::u16string> order, std::size_t computers, Connect connect,
                     std::function<void()> cancel, std::ostream& diagnostics, std::size_t held_bytes = kMostHeldBytes);
  ~ComputersReadAhead();
  ComputersReadAhead(const ComputersReadAhead&) = delete;
  ComputersReadAhead& operator=(const ComputersReadAhead&) = delete;

  // The program reaches `machine` (compared in ASCII case): false when the
  // order does not name it. Otherwise true with the connect's status and,
  // where it connected, the registry that answers from what was read; the
  // messages of the connect are released first.
  bool Take(std::u16string_view machine, DWORD& status, std::unique_ptr<lan::RemoteRegistry>& registry);

  void Stop();

  // The most bytes of answers held at once for computers not reached.
  std::size_t PeakHeldBytes() const;

 private:
  struct Computer;
  class HeldMessages;
  class Recorder;
  class Replay;

  void Start(std::size_t position);
  void Read(const std::shared_ptr<Computer>& computer);
  // Drops what `computer` holds and ends its reading at its next call.
  void Drop(Computer& computer);
  // Releases the messages of `computer` up to `until` (bytes of its text).
  void Release(Computer& computer, std::size_t until);
  void JoinFinished();

  const std::vector<std::u16string> order_;
  const std::size_t computers_;
  const Connect connect_;
  const std::function<void()> cancel_;
  std::ostream& diagnostics_;
  const std::size_t held_bytes_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;                                    // the position after the one reached last
  std::map<std::size_t, std::shared_ptr<Computer>> ahead_;  // started, not reached
  std::vector<std::pair<std::shared_ptr<Computer>, std::thread>> threads_;
  std::size_t unreached_bytes_ = 0;
  std::size_t peak_bytes_ = 0;
  bool stopping_ = false;
};

}  // namespace smb
