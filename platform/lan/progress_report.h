// What a LAN source tells the user while it works, beyond its messages: a
// wait that the user would otherwise see as a pause (the window in which
// a discovery probe collects its replies, say). On Linux the status line
// on a terminal shows it, counting the seconds down; elsewhere it goes
// nowhere. A source that has nothing to wait for needs none.
//
// The calls may come from any thread, and cost a lock and a copy of a few
// words: a source may call them from its own threads, as often as it
// likes.
#pragma once

#include <chrono>
#include <string_view>

namespace lan {

class ProgressReport {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~ProgressReport() = default;

  // The source waits until `until` for `what`, a few words that complete
  // "waiting for ..." ("WS-Discovery replies"). It replaces the wait told
  // before; a wait whose time has passed is shown no more.
  virtual void Waiting(std::string_view what, Clock::time_point until) = 0;

  // The wait told last is over before its time.
  virtual void DoneWaiting() = 0;
};

// A report that goes nowhere, for sources made where nobody watches.
inline ProgressReport& NoProgressReport() {
  class Nowhere final : public ProgressReport {
   public:
    void Waiting(std::string_view /*what*/, Clock::time_point /*until*/) override {}
    void DoneWaiting() override {}
  };
  static Nowhere nowhere;
  return nowhere;
}

}  // namespace lan
