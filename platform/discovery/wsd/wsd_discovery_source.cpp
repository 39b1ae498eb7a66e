#include "platform/discovery/wsd/wsd_discovery_source.h"

#include <poll.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "platform/ascii_case.h"
#include "platform/discovery/wsd/computer_metadata.h"
#include "platform/discovery/wsd/discovery_channel.h"
#include "platform/discovery/wsd/discovery_reply.h"
#include "platform/discovery/wsd/metadata_requests.h"
#include "platform/discovery/wsd/soap_envelopes.h"
#include "platform/discovery/wsd/wsd_protocol.h"
#include "platform/lan/visible_text.h"

namespace discovery::wsd {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The waits as the status line shows them: "waiting for ...".
constexpr std::string_view kWaitingForReplies = "WS-Discovery replies";
constexpr std::string_view kWaitingForMetadata = "WS-Discovery metadata";

// Datagrams read from one socket before the loop looks at its clocks.
constexpr int kDatagramsPerTurn = 64;

// A multicast message's copies: the first at once, the repeats after a
// random first delay that doubles each time.
class Repetition {
 public:
  Repetition(Clock::time_point first, std::mt19937& random)
      : next_(first), delay_(std::uniform_int_distribution<int>(kMinRepeatDelayMs, kMaxRepeatDelayMs)(random)) {}

  bool Due(Clock::time_point now) const { return copies_left_ > 0 && now >= next_; }
  std::optional<Clock::time_point> Next() const {
    return copies_left_ > 0 ? std::optional<Clock::time_point>(next_) : std::nullopt;
  }
  void Sent(Clock::time_point now) {
    --copies_left_;
    if (copies_left_ < kMulticastRepeats) delay_ = std::min(delay_ * 2, milliseconds(kUpperRepeatDelayMs));
    next_ = now + delay_;
  }

 private:
  int copies_left_ = 1 + kMulticastRepeats;
  Clock::time_point next_;
  milliseconds delay_;
};

enum class Stage { kResolving, kFetching, kFound, kFailed };

struct Device {
  std::string Endpoint;
  // The addresses its replies came from, at most kMaxAddressesPerDevice.
  std::set<std::string> Sources;
  // The address of the reply that was first heard, for messages.
  std::string FirstSource;
  Stage Progress = Stage::kResolving;
  std::string ResolveId;
  std::optional<Repetition> ResolveCopies;
  Clock::time_point ResolveDeadline;
  std::optional<ComputerIdentity> Identity;
  std::string Failure;
};

// The order in which a computer's addresses are preferred: IPv4, then
// IPv6 that is not link-local, then link-local.
int AddressRank(const std::string& address) {
  if (address.find(':') == std::string::npos) return 0;
  return ascii_case::Same(std::string_view(address).substr(0, 4), "fe80") ? 2 : 1;
}

class DiscoveryRun {
 public:
  DiscoveryRun(const WsdSettings& settings, std::ostream& diagnostics, lan::ProgressReport& progress)
      : settings_(settings),
        diagnostics_(diagnostics),
        progress_(progress),
        window_(settings.WindowMilliseconds),
        random_(std::random_device{}()),
        requests_(kParallelGets, settings.GetTimeLimit) {}

  std::vector<FoundComputer> Run();

 private:
  void Say(const std::string& text) { diagnostics_ << "kestrova: WS-Discovery: " << text << "\n"; }
  void HandleDatagram(const Datagram& datagram, Clock::time_point now);
  void HandleProbeMatch(const DeviceMatch& match, const std::string& source, Clock::time_point now);
  void HandleResolveMatch(Device& device, const DiscoveryReply& reply, const std::string& source);
  void Fetch(std::size_t index, const std::vector<std::string>& transport_addresses, const std::string& source);
  void Fail(Device& device, const std::string& failure);
  void SendResolves(Clock::time_point now);
  bool Resolving() const;
  void ReadReplies(std::vector<pollfd>& descriptors, Clock::time_point now);
  void TakeMetadata();
  std::vector<FoundComputer> Results();

  const WsdSettings& settings_;
  std::ostream& diagnostics_;
  lan::ProgressReport& progress_;
  milliseconds window_;
  std::mt19937 random_;
  std::unique_ptr<DiscoveryChannel> channel_;
  MetadataRequests requests_;
  Clock::time_point window_end_;
  std::string probe_id_;
  std::vector<Device> devices_;
  std::unordered_map<std::string, std::size_t> device_by_endpoint_;
  std::unordered_map<std::string, std::size_t> device_by_resolve_;
  std::unordered_set<std::string> seen_messages_;
  std::size_t datagrams_read_ = 0;
  std::size_t ignored_ = 0;
  std::string first_ignored_;
  bool too_many_ = false;
};

std::vector<FoundComputer> DiscoveryRun::Run() {
  std::string failure;
  channel_ = DiscoveryChannel::Open(settings_.Interfaces, failure);
  if (channel_ != nullptr && !channel_->UnusableInterfaces().empty()) {
    std::string names;
    for (const std::string& name : channel_->UnusableInterfaces()) {
      names += (names.empty() ? "" : ", ") + lan::VisibleText(name);
    }
    Say(std::string(kInterfacesVariable) + " names " + names + ", not up with multicast; left out");
  }
  if (channel_ == nullptr) {
    Say("cannot probe: " + failure);
    return {};
  }
  const Clock::time_point start = Clock::now();
  window_end_ = start + window_;
  const Clock::time_point hard_end = window_end_ + settings_.GetTimeLimit;
  probe_id_ = NewMessageId();
  const std::string probe = ProbeMessage(probe_id_);
  Repetition probe_copies(start, random_);
  if (!channel_->SendToAll(probe, failure)) {
    Say("cannot send the probe: " + failure);
    return {};
  }
  probe_copies.Sent(start);
  progress_.Waiting(kWaitingForReplies, window_end_);
  bool told_metadata = false;

  std::vector<pollfd> descriptors;
  for (const int descriptor : channel_->Descriptors()) descriptors.push_back({descriptor, POLLIN, 0});
  while (true) {
    Clock::time_point now = Clock::now();
    if (now >= hard_end) break;
    if (now >= window_end_ && !Resolving() && requests_.Idle()) break;
    if (now >= window_end_ && !told_metadata) {
      progress_.Waiting(kWaitingForMetadata, hard_end);
      told_metadata = true;
    }
    if (now < window_end_ && probe_copies.Due(now)) {
      std::string ignored;
      channel_->SendToAll(probe, ignored);
      probe_copies.Sent(now);
    }
    SendResolves(now);
    Clock::time_point wake = hard_end;
    if (now < window_end_) wake = std::min(wake, window_end_);
    if (const auto next = probe_copies.Next(); next && *next < window_end_) wake = std::min(wake, *next);
    for (const Device& device : devices_) {
      if (device.Progress != Stage::kResolving) continue;
      wake = std::min(wake, device.ResolveDeadline);
      if (const auto next = device.ResolveCopies->Next()) wake = std::min(wake, *next);
    }
    requests_.Wait(descriptors, wake);
    now = Clock::now();
    ReadReplies(descriptors, now);
    TakeMetadata();
  }
  progress_.DoneWaiting();
  requests_.CancelAll("it did not answer within " + SecondsText(settings_.GetTimeLimit));
  TakeMetadata();
  for (Device& device : devices_) {
    if (device.Progress == Stage::kResolving) Fail(device, "it did not answer the Resolve");
  }
  return Results();
}

bool DiscoveryRun::Resolving() const {
  return std::any_of(devices_.begin(), devices_.end(),
                     [](const Device& device) { return device.Progress == Stage::kResolving; });
}

void DiscoveryRun::SendResolves(Clock::time_point now) {
  for (Device& device : devices_) {
    if (device.Progress != Stage::kResolving) continue;
    if (now >= device.ResolveDeadline) {
      Fail(device, "it did not answer the Resolve within " + SecondsText(settings_.ResolveTimeLimit));
      continue;
    }
    if (device.ResolveCopies->Due(now)) {
      std::string ignored;
      channel_->SendToAll(ResolveMessage(device.ResolveId, device.Endpoint), ignored);
      device.ResolveCopies->Sent(now);
    }
  }
}

void DiscoveryRun::ReadReplies(std::vector<pollfd>& descriptors, Clock::time_point now) {
  for (pollfd& descriptor : descriptors) {
    if ((descriptor.revents & (POLLIN | POLLERR)) == 0) continue;
    descriptor.revents = 0;
    Datagram datagram;
    for (int turn = 0; turn < kDatagramsPerTurn && channel_->Receive(descriptor.fd, datagram); ++turn) {
      if (datagrams_read_ == kMaxDatagramsRead) continue;
      ++datagrams_read_;
      HandleDatagram(datagram, now);
    }
  }
}

void DiscoveryRun::HandleDatagram(const Datagram& datagram, Clock::time_point now) {
  std::string refusal;
  std::optional<DiscoveryReply> reply;
  if (datagram.Oversized) {
    refusal = "it is larger than " + std::to_string(kMaxDatagramBytes / 1024) + " KiB";
  } else {
    reply = ParseDiscoveryReply(datagram.Bytes, refusal);
  }
  if (!reply) {
    if (ignored_++ == 0) first_ignored_ = datagram.Source + ": " + lan::VisibleText(refusal);
    return;
  }
  // Responders send each message several times: the copies after the
  // first change nothing.
  if (seen_messages_.count(reply->MessageId) != 0) return;
  if (seen_messages_.size() < 4 * kMaxDevices) seen_messages_.insert(reply->MessageId);
  if (reply->Kind == ReplyKind::kProbeMatches) {
    // Replies to another probe (an earlier run's, another client's) are
    // not this run's.
    if (reply->RelatesTo != probe_id_ || now >= window_end_) return;
    for (const DeviceMatch& match : reply->Matches) HandleProbeMatch(match, datagram.Source, now);
    return;
  }
  const auto resolved = device_by_resolve_.find(reply->RelatesTo);
  if (resolved != device_by_resolve_.end()) HandleResolveMatch(devices_[resolved->second], *reply, datagram.Source);
}

void DiscoveryRun::HandleProbeMatch(const DeviceMatch& match, const std::string& source, Clock::time_point now) {
  if (!match.IsComputer) return;
  const auto known = device_by_endpoint_.find(match.EndpointAddress);
  if (known != device_by_endpoint_.end()) {
    Device& device = devices_[known->second];
    if (device.Sources.size() < kMaxAddressesPerDevice) device.Sources.insert(source);
    return;
  }
  if (devices_.size() == kMaxDevices) {
    too_many_ = true;
    return;
  }
  const std::size_t index = devices_.size();
  Device& device = devices_.emplace_back();
  device.Endpoint = match.EndpointAddress;
  device.Sources.insert(source);
  device.FirstSource = source;
  device_by_endpoint_.emplace(device.Endpoint, index);
  if (!match.TransportAddresses.empty()) {
    Fetch(index, match.TransportAddresses, source);
    return;
  }
  device.ResolveId = NewMessageId();
  device.ResolveCopies.emplace(now, random_);
  device.ResolveDeadline = now + settings_.ResolveTimeLimit;
  device_by_resolve_.emplace(device.ResolveId, index);
  SendResolves(now);
}

void DiscoveryRun::HandleResolveMatch(Device& device, const DiscoveryReply& reply, const std::string& source) {
  if (device.Progress != Stage::kResolving) return;
  for (const DeviceMatch& match : reply.Matches) {
    if (match.EndpointAddress != device.Endpoint || match.TransportAddresses.empty()) continue;
    if (device.Sources.size() < kMaxAddressesPerDevice) device.Sources.insert(source);
    Fetch(device_by_endpoint_.at(device.Endpoint), match.TransportAddresses, source);
    return;
  }
}

void DiscoveryRun::Fetch(std::size_t index, const std::vector<std::string>& transport_addresses,
                         const std::string& source) {
  Device& device = devices_[index];
  for (const std::string& address : transport_addresses) {
    if (const std::optional<std::string> url = MetadataUrl(address, source)) {
      device.Progress = Stage::kFetching;
      requests_.Add(index, *url, GetMessage(NewMessageId(), device.Endpoint));
      return;
    }
  }
  Fail(device, "it gives no http:// transport address");
}

void DiscoveryRun::TakeMetadata() {
  for (MetadataReply& reply : requests_.TakeFinished()) {
    Device& device = devices_[reply.Tag];
    if (!reply.Ok) {
      Fail(device, "its metadata could not be read: " + reply.Failure);
      continue;
    }
    std::string refusal;
    device.Identity = ParseComputerMetadata(reply.Body, refusal);
    if (device.Identity) {
      device.Progress = Stage::kFound;
    } else {
      Fail(device, "its metadata is refused: " + lan::VisibleText(refusal));
    }
  }
}

void DiscoveryRun::Fail(Device& device, const std::string& failure) {
  device.Progress = Stage::kFailed;
  device.Failure = failure;
}

std::vector<FoundComputer> DiscoveryRun::Results() {
  std::vector<FoundComputer> found;
  std::vector<const Device*> failed;
  for (const Device& device : devices_) {
    if (device.Progress == Stage::kFailed) failed.push_back(&device);
    if (device.Progress != Stage::kFound) continue;
    std::vector<std::string> addresses(device.Sources.begin(), device.Sources.end());
    std::stable_sort(addresses.begin(), addresses.end(),
                     [](const std::string& a, const std::string& b) { return AddressRank(a) < AddressRank(b); });
    found.push_back({device.Identity->Container, device.Identity->Name, addresses.front(), ""});
  }
  // The same network gives the same list, however its replies arrived:
  // by container, then name, ignoring case, then address; a name that two
  // devices claim is listed once.
  std::sort(found.begin(), found.end(), [](const FoundComputer& a, const FoundComputer& b) {
    const std::string ka = ascii_case::FoldedText(a.Container) + '\n' + ascii_case::FoldedText(a.Name);
    const std::string kb = ascii_case::FoldedText(b.Container) + '\n' + ascii_case::FoldedText(b.Name);
    return ka != kb ? ka < kb : a.Address < b.Address;
  });
  std::set<std::string> names;
  std::erase_if(found, [&](const FoundComputer& c) { return !names.insert(ascii_case::FoldedText(c.Name)).second; });

  std::sort(failed.begin(), failed.end(),
            [](const Device* a, const Device* b) { return a->FirstSource < b->FirstSource; });
  for (const Device* device : failed) Say(device->FirstSource + ": " + device->Failure + "; the computer is left out");
  if (too_many_) Say("more than " + std::to_string(kMaxDevices) + " computers answered; the rest are left out");
  if (ignored_ > 0) {
    Say(std::to_string(ignored_) + (ignored_ == 1 ? " reply was" : " replies were") + " ignored, the first from " +
        first_ignored_);
  }
  if (devices_.empty()) Say("no computer answered the probe within " + SecondsText(window_));
  return found;
}

}  // namespace

std::vector<FoundComputer> WsdDiscoverySource::Find(std::ostream& diagnostics) {
  DiscoveryRun run(settings_, diagnostics, progress_);
  return run.Run();
}

}  // namespace discovery::wsd
