// The probe that tells a computer that does not answer from one that does,
// over loopback: a listener answers; one whose queue of connections is
// full drops the next connection's packets, as a filtered host does.
#include "platform/smb/address_probe.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace smb {
namespace {

using std::chrono::milliseconds;

TEST(AddressProbe, AnsweringSilentCancelledAndNamedHosts) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const std::uint16_t port = ntohs(address.sin_port);

  EXPECT_EQ(ProbeAddress("127.0.0.1", port, milliseconds(2000), -1), ProbeResult::kAnswered);
  // Nobody listens on the listener's port at another loopback address:
  // refused at once, which is an answer.
  EXPECT_EQ(ProbeAddress("127.0.0.2", port, milliseconds(2000), -1), ProbeResult::kAnswered);
  EXPECT_EQ(ProbeAddress("ATLAS", port, milliseconds(2000), -1), std::nullopt);

  // Fill the listener's queue, never accepted: further connections wait.
  std::vector<int> queued;
  for (int i = 0; i < 4; ++i) {
    queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    static_cast<void>(connect(queued.back(), reinterpret_cast<sockaddr*>(&address), size));  // under way
  }
  EXPECT_EQ(ProbeAddress("127.0.0.1", port, milliseconds(100), -1), ProbeResult::kSilent);
  const int cancel = eventfd(1, EFD_CLOEXEC);
  EXPECT_EQ(ProbeAddress("127.0.0.1", port, milliseconds(60000), cancel), ProbeResult::kCancelled);
  close(cancel);
  for (const int socket_fd : queued) close(socket_fd);
  close(listener);
}

// Reach takes the result of the background probe of its host, under way
// or ended; a probe under way ends when its Reachability does.
TEST(AddressProbe, ReachingAllInTheBackgroundGivesEachHostsResultAndEndsWithItsOwner) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const std::uint16_t port = ntohs(address.sin_port);
  std::vector<int> queued;
  for (int i = 0; i < 4; ++i) {
    queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    static_cast<void>(connect(queued.back(), reinterpret_cast<sockaddr*>(&address), size));  // under way
  }
  {
    Reachability reachability(milliseconds(200), port);
    reachability.StartReachingAll({"127.0.0.1", "127.0.0.2"});
    EXPECT_EQ(reachability.Reach("127.0.0.1"), ProbeResult::kSilent);
    EXPECT_EQ(reachability.Reach("127.0.0.2"), ProbeResult::kAnswered);
  }
  {
    // A minute's limit: the test ends long before it only if the
    // destructor cancels the probe under way.
    Reachability reachability(milliseconds(60000), port);
    reachability.StartReachingAll({"127.0.0.1"});
  }
  for (const int socket_fd : queued) close(socket_fd);
  close(listener);
}

}  // namespace
}  // namespace smb
