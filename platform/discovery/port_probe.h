// Which addresses of IPv4 ranges answer on a TCP port: a connect to each,
// many at a time, each given up after a time limit of its own. The probe
// sends nothing: a completed handshake is the answer, and the connection
// is closed at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "platform/discovery/host_list.h"

namespace discovery {

struct ProbeOptions {
  std::uint16_t Port = 445;  // SMB; tests probe listeners of their own
  std::chrono::milliseconds Timeout{1000};
  std::size_t Parallel = 256;
};

// The addresses (host byte order) of `ranges` that accepted a connection,
// in the ranges' order and each range's ascending order. Takes at most
// the time limit once for every `Parallel` addresses. Where no socket can
// be had, one message to `diagnostics` and what answered until then.
std::vector<std::uint32_t> AnsweringAddresses(std::span<const Ipv4Range> ranges, const ProbeOptions& options,
                                              std::ostream& diagnostics);

}  // namespace discovery
