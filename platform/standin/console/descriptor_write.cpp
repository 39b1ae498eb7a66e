#include "platform/standin/console/descriptor_write.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace standin {
namespace {

// Waits until a non-blocking descriptor can take more bytes.
bool WaitUntilWritable(int descriptor) {
  pollfd entry{descriptor, POLLOUT, 0};
  for (;;) {
    const int ready = poll(&entry, 1, -1);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

bool WriteAll(int descriptor, const char* bytes, std::size_t count, std::size_t& done) {
  done = 0;
  while (done < count) {
    const ssize_t written = write(descriptor, bytes + done, count - done);
    if (written >= 0) {
      done += static_cast<std::size_t>(written);
      continue;
    }
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitUntilWritable(descriptor)) continue;
    return false;
  }
  return true;
}

}  // namespace standin
