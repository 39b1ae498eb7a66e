#include "platform/discovery/wsd/metadata_requests.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

#include "platform/discovery/wsd/computer_metadata.h"
#include "platform/discovery/wsd/wsd_settings.h"

namespace discovery::wsd {
namespace {

// A reply as it arrives, cut off past kMaxMetadataBytes.
struct ReplyBuffer {
  std::string received;
  bool too_large = false;
};

std::size_t KeepReply(char* data, std::size_t size, std::size_t count, void* context) {
  auto* buffer = static_cast<ReplyBuffer*>(context);
  const std::size_t bytes = size * count;
  if (bytes > kMaxMetadataBytes - buffer->received.size()) {
    buffer->too_large = true;
    return 0;  // ends the transfer
  }
  buffer->received.append(data, bytes);
  return bytes;
}

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

}  // namespace

std::optional<std::string> MetadataUrl(std::string_view transport_address, std::string_view source) {
  const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (url == nullptr) return std::nullopt;
  const std::string given(transport_address);
  if (curl_url_set(url.get(), CURLUPART_URL, given.c_str(), 0) != CURLUE_OK) return std::nullopt;
  char* scheme = nullptr;
  if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return std::nullopt;
  const bool http = std::string_view(scheme) == "http";
  curl_free(scheme);
  if (!http) return std::nullopt;
  const std::size_t percent = source.find('%');
  const std::string address(source.substr(0, percent));
  const bool ipv6 = address.find(':') != std::string::npos;
  const std::string host = ipv6 ? "[" + address + "]" : address;
  const std::string zone = percent == std::string_view::npos ? "" : std::string(source.substr(percent + 1));
  if (curl_url_set(url.get(), CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_ZONEID, zone.empty() ? nullptr : zone.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0) != CURLUE_OK) {
    return std::nullopt;
  }
  char* text = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) return std::nullopt;
  std::string result(text);
  curl_free(text);
  return result;
}

struct MetadataRequests::Transfer {
  ~Transfer() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }

  std::size_t tag = 0;
  std::string url;
  std::string body;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  ReplyBuffer reply;
};

namespace {

CURLM* Multi(void* multi) { return static_cast<CURLM*>(multi); }

}  // namespace

MetadataRequests::MetadataRequests(std::size_t parallel, std::chrono::milliseconds time_limit)
    : parallel_(std::max<std::size_t>(parallel, 1)), time_limit_(time_limit) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  multi_ = curl_multi_init();
}

MetadataRequests::~MetadataRequests() {
  for (const auto& transfer : running_) curl_multi_remove_handle(Multi(multi_), transfer->easy);
  running_.clear();
  curl_multi_cleanup(Multi(multi_));
}

void MetadataRequests::Add(std::size_t tag, const std::string& url, std::string body) {
  auto transfer = std::make_unique<Transfer>();
  transfer->tag = tag;
  transfer->url = url;
  transfer->body = std::move(body);
  queued_.push_back(std::move(transfer));
  StartQueued();
}

void MetadataRequests::StartQueued() {
  while (running_.size() < parallel_ && !queued_.empty()) {
    std::unique_ptr<Transfer> transfer = std::move(queued_.front());
    queued_.erase(queued_.begin());
    CURL* easy = curl_easy_init();
    transfer->easy = easy;
    transfer->headers = curl_slist_append(nullptr, "Content-Type: application/soap+xml; charset=utf-8");
    transfer->headers = curl_slist_append(transfer->headers, "Expect:");
    const long limit = static_cast<long>(time_limit_.count());
    bool ok =
        easy != nullptr && transfer->headers != nullptr && multi_ != nullptr &&
        curl_easy_setopt(easy, CURLOPT_URL, transfer->url.c_str()) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http") == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*") == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limit) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limit) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "kestrova") == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_POST, 1L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, transfer->body.data()) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer->body.size())) ==
            CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxMetadataBytes)) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, KeepReply) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer->reply) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get()) == CURLE_OK &&
        curl_multi_add_handle(Multi(multi_), easy) == CURLM_OK;
    if (!ok) {
      finished_.push_back({transfer->tag, false, {}, "the request could not be made"});
      continue;
    }
    running_.push_back(std::move(transfer));
  }
}

void MetadataRequests::Wait(std::span<pollfd> extra, Clock::time_point deadline) {
  std::vector<curl_waitfd> waits(extra.size());
  for (std::size_t i = 0; i < extra.size(); ++i) {
    waits[i] = {extra[i].fd, extra[i].events, 0};
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count() + 1;
  const int timeout = static_cast<int>(std::clamp<long long>(left, 0, 60 * 1000));
  int ready = 0;
  curl_multi_poll(Multi(multi_), waits.data(), static_cast<unsigned>(waits.size()), timeout, &ready);
  for (std::size_t i = 0; i < extra.size(); ++i) extra[i].revents = waits[i].revents;
  int still_running = 0;
  curl_multi_perform(Multi(multi_), &still_running);
  Collect();
  StartQueued();
}

void MetadataRequests::Collect() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(Multi(multi_), &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* easy = message->easy_handle;
    const CURLcode result = message->data.result;
    const auto found =
        std::find_if(running_.begin(), running_.end(), [&](const auto& transfer) { return transfer->easy == easy; });
    if (found == running_.end()) continue;
    std::unique_ptr<Transfer> transfer = std::move(*found);
    running_.erase(found);
    curl_multi_remove_handle(Multi(multi_), easy);
    MetadataReply reply;
    reply.Tag = transfer->tag;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (transfer->reply.too_large || result == CURLE_FILESIZE_EXCEEDED) {
      reply.Failure = "its reply is larger than " + std::to_string(kMaxMetadataBytes / 1024) + " KiB";
    } else if (result == CURLE_OPERATION_TIMEDOUT) {
      reply.Failure = "it did not answer within " + SecondsText(time_limit_);
    } else if (result != CURLE_OK) {
      reply.Failure = curl_easy_strerror(result);
    } else if (status != 200) {
      reply.Failure = "it answered with HTTP status " + std::to_string(status);
    } else {
      reply.Ok = true;
      reply.Body = std::move(transfer->reply.received);
    }
    finished_.push_back(std::move(reply));
  }
}

std::vector<MetadataReply> MetadataRequests::TakeFinished() {
  std::vector<MetadataReply> finished;
  finished.swap(finished_);
  return finished;
}

bool MetadataRequests::Idle() const { return queued_.empty() && running_.empty(); }

void MetadataRequests::CancelAll(const std::string& failure) {
  for (auto& transfer : running_) {
    curl_multi_remove_handle(Multi(multi_), transfer->easy);
    finished_.push_back({transfer->tag, false, {}, failure});
  }
  for (auto& transfer : queued_) finished_.push_back({transfer->tag, false, {}, failure});
  running_.clear();
  queued_.clear();
}

}  // namespace discovery::wsd
