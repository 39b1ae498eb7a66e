// Whether a computer answers on a TCP port at all, found out without
// libsmbclient. libsmbclient connects under a lock that the whole process
// shares (smb_context.h), so a computer that drops every packet would make
// every other connection wait for its time limit; probing it first, outside
// that lock, lets computers that do not answer be waited for together.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/smb/smb_context.h"

namespace smb {

enum class ProbeResult {
  kAnswered,   // connected, refused or unreachable: the network said something
  kSilent,     // no answer within the time limit
  kCancelled,  // `cancel` became readable first
};

// Connects to `port` of `host`, a numeric IPv4 or IPv6 address (an IPv6
// one with its %zone where it has one), and closes the connection at once.
// Waits at most `limit`, and no longer than until the descriptor `cancel`
// (-1: none) becomes readable. Nothing for a host that is a name: its
// address is libsmbclient's to find.
std::optional<ProbeResult> ProbeAddress(const std::string& host, std::uint16_t port, std::chrono::milliseconds limit,
                                        int cancel);

// What the probes of the SMB port found, by host as libsmbclient is given
// it (an address, or a name), shared by the connections of one network.
// Each host is probed once. A name is first resolved by broadcast
// (netbios_name_query.h); one that does not resolve so, or a DNS name, is
// libsmbclient's to resolve and try: it counts as answering.
class Reachability {
 public:
  // Probes wait at most `limit`, name queries at most kMostNameQuery of it.
  // `port` is the SMB port but in tests.
  explicit Reachability(std::chrono::milliseconds limit, std::uint16_t port = static_cast<std::uint16_t>(kSmbPort));
  // Cancels the probes under way and waits for them to end.
  ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  static constexpr std::chrono::milliseconds kMostNameQuery{1500};
  static constexpr std::size_t kMostAtOnce = 64;

  // kSilent for a host that did not answer; kCancelled once cancelled.
  // A host whose probe is under way in another thread waits for that
  // probe's result rather than probing it again.
  ProbeResult Reach(const std::string& host);
  // Starts reaching every one of `hosts`, at most kMostAtOnce at a time,
  // in the background, and returns at once: each host's Reach then waits
  // only for what is left of its own probe, so that the computers that
  // answer are not kept waiting for those that do not. Called once.
  void StartReachingAll(std::vector<std::string> hosts);
  // The address that the broadcast name query found for `host`, a name
  // that Reach resolved; empty for an address, or a name that did not
  // resolve so (or was not reached yet).
  std::string ResolvedAddress(const std::string& host);
  // Ends the probes under way; every later one is cancelled at once.
  void Cancel();

 private:
  const std::chrono::milliseconds limit_;
  const std::uint16_t port_;
  const int cancel_;  // an event descriptor, readable once cancelled
  std::mutex mutex_;
  std::condition_variable probed_;  // a probe under way ended
  std::map<std::string, ProbeResult> found_;
  std::map<std::string, std::string> resolved_;
  std::set<std::string> under_way_;
  std::thread background_;
};

}  // namespace smb
