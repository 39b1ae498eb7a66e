// A pseudo-terminal for tests of what a terminal is sent: the terminal end
// in raw mode (nothing added or taken away on the way), which the code
// under test writes to, and the master end, whose reads never block.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace testing_support {

// Opens both ends; false when no pseudo-terminal can be had. The caller
// closes them (the terminal end with CloseHandle where WriteFile wrote to
// it, so that it forgets what it decided about the descriptor).
inline bool OpenRawTerminal(int& master, int& terminal) {
  master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
  terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (terminal < 0) return false;
  termios mode{};
  tcgetattr(terminal, &mode);
  cfmakeraw(&mode);
  tcsetattr(terminal, TCSANOW, &mode);
  fcntl(master, F_SETFL, O_NONBLOCK);
  return true;
}

// What has arrived on a descriptor whose reads never block.
inline std::string ReadAvailable(int descriptor) {
  std::string bytes;
  char chunk[512];
  for (ssize_t count; (count = read(descriptor, chunk, sizeof chunk)) > 0;) {
    bytes.append(chunk, static_cast<std::size_t>(count));
  }
  return bytes;
}

}  // namespace testing_support
