// The WS-Transfer Gets of devices' metadata: SOAP envelopes POSTed over
// HTTP (application/soap+xml) with libcurl, several at once, each bounded
// in time and in the size of its reply, driven from the caller's loop,
// which waits on the transfers and on descriptors of its own together.
//
// Only plain http:// is spoken (no proxy, no redirect, no content
// encoding); a reply counts when its status is 200 and it is at most
// kMaxMetadataBytes long, whether it comes with a length or in chunks.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace discovery::wsd {

// The URL of the Get for a device that answered from `source` (a numeric
// address; a link-local IPv6 one with its zone) and gave
// `transport_address`: the port, path and query of that http:// URL, at
// the address that answered. The request never goes to a host that a reply
// merely names. nullopt for a transport address that is not an http://
// URL.
std::optional<std::string> MetadataUrl(std::string_view transport_address, std::string_view source);

struct MetadataReply {
  std::size_t Tag = 0;  // the caller's, as given to Add
  bool Ok = false;
  std::string Body;     // the document, when Ok
  std::string Failure;  // why not, when not Ok
};

class MetadataRequests {
 public:
  using Clock = std::chrono::steady_clock;

  // At most `parallel` transfers run at once; each may take
  // `time_limit`.
  MetadataRequests(std::size_t parallel, std::chrono::milliseconds time_limit);
  ~MetadataRequests();
  MetadataRequests(const MetadataRequests&) = delete;
  MetadataRequests& operator=(const MetadataRequests&) = delete;

  // Queues a POST of `body` to `url`; it starts as soon as fewer than
  // `parallel` run. A URL that libcurl refuses finishes at once.
  void Add(std::size_t tag, const std::string& url, std::string body);

  // Waits until a transfer makes progress, one of `extra` is ready (its
  // revents are set) or `deadline` comes, and moves the transfers on.
  void Wait(std::span<pollfd> extra, Clock::time_point deadline);

  // The transfers that have finished since the last call.
  std::vector<MetadataReply> TakeFinished();

  // True when none is queued or running.
  bool Idle() const;

  // Ends every transfer still queued or running, each finished with
  // `failure`.
  void CancelAll(const std::string& failure);

 private:
  struct Transfer;
  void StartQueued();
  void Collect();

  std::size_t parallel_;
  std::chrono::milliseconds time_limit_;
  void* multi_;
  std::vector<std::unique_ptr<Transfer>> queued_;
  std::vector<std::unique_ptr<Transfer>> running_;
  std::vector<MetadataReply> finished_;
};

}  // namespace discovery::wsd
