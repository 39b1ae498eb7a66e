// Writing a host file descriptor the way the stand-in's console writes:
// every byte or a failure.
#pragma once

#include <cstddef>

namespace standin {

// Writes `count` bytes: interrupted and partial writes are continued, and
// a full non-blocking descriptor is waited for. `done` counts the bytes
// written; false with errno set when a write fails.
bool WriteAll(int descriptor, const char* bytes, std::size_t count, std::size_t& done);

}  // namespace standin
