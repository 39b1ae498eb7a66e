// What the SMB pipes did, for benchmarks and tests: the round trips that
// pipes cost, which no part of the program asks about. Kept apart from the
// pipe opener's own interface (smb_pipe_opener.h), as test hooks are.
#pragma once

#include <cstdint>

namespace smb {

// SMB requests that the pipes made since the program started: each is one
// round trip to a server.
struct PipeTraffic {
  std::uint64_t Opens = 0;   // a pipe opened (with its connection and logon)
  std::uint64_t Writes = 0;  // one message written
  std::uint64_t Reads = 0;   // one read request
};
PipeTraffic PipeTrafficSoFar();

}  // namespace smb
