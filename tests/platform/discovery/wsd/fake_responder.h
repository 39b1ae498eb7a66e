// WS-Discovery responders on loopback, run by a test in its own process:
// one UDP socket where the client's probes and resolves arrive (the
// discovery channel aimed at it with AimDiscoveryAtForTesting), and for
// each device a UDP socket that its replies leave from and an HTTP
// listener for its metadata, both on an address of its own (127.0.0.N),
// as devices on a LAN each have theirs.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/discovery/wsd/wsd_test_messages.h"

namespace discovery::wsd::testing {

enum class MetadataAnswer { kAnswers, kSilent, kMalformed, kHuge };

struct FakeDevice {
  std::string Address;  // 127.0.0.N
  std::string Endpoint;
  std::string Computer;  // pub:Computer's text
  // Windows gives its transport address in ProbeMatches; wsdd only on a
  // Resolve.
  Form Style = Form::kWindows;
  std::string Types = "wsdp:Device pub:Computer";
  MetadataAnswer Metadata = MetadataAnswer::kAnswers;
  // Answers every probe first as if it were another's (RelatesTo of a
  // MessageID the client never sent).
  bool AnswersAStrangerFirst = false;
};

class FakeResponder {
 public:
  explicit FakeResponder(std::vector<FakeDevice> devices);
  ~FakeResponder();
  FakeResponder(const FakeResponder&) = delete;
  FakeResponder& operator=(const FakeResponder&) = delete;

  std::uint16_t Port() const { return port_; }
  int Probes() const { return probes_; }
  int Resolves() const { return resolves_; }
  int Gets() const { return gets_; }

 private:
  void Serve();
  void Answer(const std::string& datagram);
  void ServeMetadata(std::size_t device, int connection);

  std::vector<FakeDevice> devices_;
  int discovery_socket_ = -1;
  std::uint16_t port_ = 0;
  std::vector<int> reply_sockets_;
  std::vector<int> listeners_;
  std::vector<std::uint16_t> metadata_ports_;
  sockaddr_in client_{};   // where the last probe or resolve came from
  std::vector<int> held_;  // connections of silent devices, never answered
  std::atomic<bool> stop_{false};
  std::atomic<int> probes_{0};
  std::atomic<int> resolves_{0};
  std::atomic<int> gets_{0};
  std::thread thread_;
};

}  // namespace discovery::wsd::testing
