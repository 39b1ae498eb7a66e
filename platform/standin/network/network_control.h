// What tests can see of the stand-in's network enumeration beyond the
// Windows operations: the handles still open and the requests that
// WNetEnumResourceA received. The program itself calls none of this.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/windows_api.h"

namespace standin {

// Enumeration handles that WNetOpenEnumA opened and WNetCloseEnum has not
// closed yet.
std::size_t OpenEnumerationCount();

// What one WNetEnumResourceA call was handed: the number of records asked
// for and the buffer size, as they stood on entry.
struct EnumerationRequest {
  DWORD Count;
  DWORD Size;
};

// The requests since the last ClearEnumerationRequests, oldest first, up
// to kMaxEnumerationRequests of them, so that a long run of the program
// does not grow the log without end. Calls with a null count or size
// pointer are not recorded.
constexpr std::size_t kMaxEnumerationRequests = 65536;
const std::vector<EnumerationRequest>& EnumerationRequests();
void ClearEnumerationRequests();

}  // namespace standin
