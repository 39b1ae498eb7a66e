// An RPC context handle as it travels (C706's ndr_context_handle): 20
// bytes that the server chose, opaque to the client, which hands them back
// in every call on the object they stand for.
#pragma once

#include <array>
#include <cstdint>

namespace rpc {

struct ContextHandle {
  std::array<std::uint8_t, 20> Bytes{};
  bool operator==(const ContextHandle&) const = default;
};

}  // namespace rpc
