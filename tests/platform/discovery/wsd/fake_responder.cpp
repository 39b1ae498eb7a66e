#include "tests/platform/discovery/wsd/fake_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "platform/discovery/wsd/soap_envelopes.h"
#include "platform/discovery/wsd/wsd_protocol.h"
#include "platform/discovery/wsd/xml_document.h"

namespace discovery::wsd::testing {
namespace {

int BoundSocket(int type, const std::string& address, std::uint16_t& port) {
  const int descriptor = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in name{};
  name.sin_family = AF_INET;
  inet_pton(AF_INET, address.c_str(), &name.sin_addr);
  socklen_t length = sizeof name;
  if (descriptor < 0 || bind(descriptor, reinterpret_cast<sockaddr*>(&name), sizeof name) != 0 ||
      getsockname(descriptor, reinterpret_cast<sockaddr*>(&name), &length) != 0 ||
      (type == SOCK_STREAM && listen(descriptor, 16) != 0)) {
    throw std::runtime_error("the fake responder cannot bind " + address);
  }
  port = ntohs(name.sin_port);
  return descriptor;
}

void SendTo(int descriptor, const std::string& message, const sockaddr_in& client) {
  sendto(descriptor, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&client), sizeof client);
}

void SendAll(int connection, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

// The request's head and body, read for at most a second.
std::string ReadRequest(int connection) {
  std::string request;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::size_t head_end = request.find("\r\n\r\n");
    if (head_end != std::string::npos) {
      const std::size_t length_at = request.find("Content-Length: ");
      const std::size_t length = length_at == std::string::npos ? 0 : std::stoul(request.substr(length_at + 16));
      if (request.size() >= head_end + 4 + length) break;
    }
    pollfd ready{connection, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  return request;
}

}  // namespace

FakeResponder::FakeResponder(std::vector<FakeDevice> devices) : devices_(std::move(devices)) {
  discovery_socket_ = BoundSocket(SOCK_DGRAM, "127.0.0.1", port_);
  for (const FakeDevice& device : devices_) {
    std::uint16_t unused = 0;
    std::uint16_t metadata_port = 0;
    reply_sockets_.push_back(BoundSocket(SOCK_DGRAM, device.Address, unused));
    listeners_.push_back(BoundSocket(SOCK_STREAM, device.Address, metadata_port));
    metadata_ports_.push_back(metadata_port);
  }
  thread_ = std::thread([this] { Serve(); });
}

FakeResponder::~FakeResponder() {
  stop_ = true;
  thread_.join();
  close(discovery_socket_);
  for (const int descriptor : reply_sockets_) close(descriptor);
  for (const int descriptor : listeners_) close(descriptor);
  for (const int descriptor : held_) close(descriptor);
}

void FakeResponder::Serve() {
  while (!stop_) {
    std::vector<pollfd> ready{{discovery_socket_, POLLIN, 0}};
    for (const int listener : listeners_) ready.push_back({listener, POLLIN, 0});
    if (poll(ready.data(), ready.size(), 20) <= 0) continue;
    if ((ready[0].revents & POLLIN) != 0) {
      char buffer[65536];
      sockaddr_in client{};
      socklen_t length = sizeof client;
      const ssize_t n =
          recvfrom(discovery_socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&client), &length);
      if (n > 0) {
        client_ = client;
        Answer(std::string(buffer, static_cast<std::size_t>(n)));
      }
    }
    for (std::size_t i = 0; i < listeners_.size(); ++i) {
      if ((ready[i + 1].revents & POLLIN) == 0) continue;
      const int connection = accept4(listeners_[i], nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      if (devices_[i].Metadata == MetadataAnswer::kSilent) {
        ++gets_;
        held_.push_back(connection);
        continue;
      }
      ServeMetadata(i, connection);
      close(connection);
    }
  }
}

void FakeResponder::Answer(const std::string& datagram) {
  std::string refusal;
  const auto message = XmlDocument::Parse(datagram, refusal);
  if (message == nullptr) return;
  const XmlNode header = FirstChild(message->Root(), kSoapNamespace, "Header");
  const std::string action = TrimmedText(FirstChild(header, kAddressingNamespace, "Action"));
  const std::string message_id = TrimmedText(FirstChild(header, kAddressingNamespace, "MessageID"));
  const bool probe = action == kProbeAction;
  std::string resolved;
  if (probe) {
    ++probes_;
  } else if (action == kResolveAction) {
    ++resolves_;
    const XmlNode body = FirstChild(message->Root(), kSoapNamespace, "Body");
    const XmlNode reference =
        FirstChild(FirstChild(body, kDiscoveryNamespace, "Resolve"), kAddressingNamespace, "EndpointReference");
    resolved = TrimmedText(FirstChild(reference, kAddressingNamespace, "Address"));
  } else {
    return;
  }
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    const FakeDevice& device = devices_[i];
    if (!probe && device.Endpoint != resolved) continue;
    const std::string base = "http://" + device.Address + ":" + std::to_string(metadata_ports_[i]);
    MatchReply reply;
    reply.RelatesTo = message_id;
    reply.Endpoint = device.Endpoint;
    reply.Types = device.Types;
    reply.Resolve = !probe;
    if (!probe || device.Style == Form::kWindows)
      reply.TransportAddresses = base + "/" + device.Endpoint.substr(9) + "/";
    if (probe && device.AnswersAStrangerFirst) {
      MatchReply stranger = reply;
      stranger.MessageId = NewMessageId();
      stranger.RelatesTo = NewMessageId();
      stranger.Endpoint = "urn:uuid:5742a46e-0000-4000-8000-000000000000";
      stranger.TransportAddresses = base + "/stranger/";
      SendTo(reply_sockets_[i], MatchMessage(stranger, Form::kWindows), client_);
    }
    reply.MessageId = NewMessageId();
    // Every message goes twice, as responders repeat them.
    const std::string bytes = MatchMessage(reply, device.Style);
    SendTo(reply_sockets_[i], bytes, client_);
    SendTo(reply_sockets_[i], bytes, client_);
  }
}

void FakeResponder::ServeMetadata(std::size_t index, int connection) {
  ++gets_;
  const FakeDevice& device = devices_[index];
  const std::string request = ReadRequest(connection);
  const bool stranger = request.find("POST /stranger/") == 0;
  std::string body = MetadataMessage(stranger ? "STRANGER/Workgroup:ELSEWHERE" : device.Computer, device.Style);
  if (device.Metadata == MetadataAnswer::kMalformed) body.resize(body.size() / 2);
  if (device.Metadata == MetadataAnswer::kHuge) {
    // A megabyte in chunks: no length announces it.
    SendAll(connection, "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nTransfer-Encoding: chunked\r\n\r\n");
    const std::string chunk = "4000\r\n" + std::string(0x4000, ' ') + "\r\n";
    for (int i = 0; i < 64; ++i) SendAll(connection, chunk);
    SendAll(connection, "0\r\n\r\n");
    return;
  }
  SendAll(connection, "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace discovery::wsd::testing
