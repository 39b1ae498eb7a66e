// The status of a fault PDU as the Windows code that the client returns:
// Windows codes pass through, the DCE codes are translated, the rest is a
// failed call.
#include "platform/smb/rpc/status.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(RpcStatusTest, FaultStatusesBecomeWindowsCodes) {
  const std::pair<std::uint32_t, DWORD> cases[] = {
      {0x1C010002, rpc::kRpcProcedureOutOfRange},
      {0x1C010003, rpc::kRpcUnknownInterface},
      {0x1C00001A, ERROR_INVALID_HANDLE},
      {0x000006F7, rpc::kRpcBadStubData},
      {0x00000005, ERROR_ACCESS_DENIED},
      {0x1C0000FF, rpc::kRpcCallFailed},
      {0, rpc::kRpcCallFailed},
      {0xC0000022, rpc::kRpcCallFailed},
  };
  for (const auto& [status, expected] : cases) EXPECT_EQ(rpc::FaultToWindowsError(status), expected) << status;
}

}  // namespace
