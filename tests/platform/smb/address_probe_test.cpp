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

// A loopback listener that never accepts. Once its queue is full, further
// connections to it wait, as they do to a host that drops their packets.
struct Listener {
  Listener() {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bound = bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(fd, 0) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    port = ntohs(address.sin_port);
  }
  void FillQueue() {
    for (int i = 0; i < 4; ++i) {
      queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
      // Under way, and left so: the queue is full once they are.
      static_cast<void>(connect(queued.back(), reinterpret_cast<sockaddr*>(&address), sizeof address));
    }
  }
  ~Listener() {
    for (const int socket_fd : queued) close(socket_fd);
    close(fd);
  }
  int fd = -1;
  sockaddr_in address{};
  bool bound = false;
  std::uint16_t port = 0;
  std::vector<int> queued;
};

TEST(AddressProbe, AnsweringSilentCancelledAndNamedHosts) {
  Listener listener;
  ASSERT_TRUE(listener.bound);
  const std::uint16_t port = listener.port;
  EXPECT_EQ(ProbeAddress("127.0.0.1", port, milliseconds(2000), -1), ProbeResult::kAnswered);
  // Nobody listens on the listener's port at another loopback address:
  // refused at once, which is an answer.
  EXPECT_EQ(ProbeAddress("127.0.0.2", port, milliseconds(2000), -1), ProbeResult::kAnswered);
  EXPECT_EQ(ProbeAddress("ATLAS", port, milliseconds(2000), -1), std::nullopt);

  listener.FillQueue();
  EXPECT_EQ(ProbeAddress("127.0.0.1", port, milliseconds(100), -1), ProbeResult::kSilent);
  const int cancel = eventfd(1, EFD_CLOEXEC);
  EXPECT_EQ(ProbeAddress("127.0.0.1", port, milliseconds(60000), cancel), ProbeResult::kCancelled);
  close(cancel);
}

// Reach takes the result of the background probe of its host, under way
// or ended; a probe under way ends when its Reachability does.
TEST(AddressProbe, ReachingAllInTheBackgroundGivesEachHostsResultAndEndsWithItsOwner) {
  Listener listener;
  ASSERT_TRUE(listener.bound);
  listener.FillQueue();
  {
    Reachability reachability(milliseconds(200), listener.port);
    reachability.StartReachingAll({"127.0.0.1", "127.0.0.2"});
    EXPECT_EQ(reachability.Reach("127.0.0.1"), ProbeResult::kSilent);
    EXPECT_EQ(reachability.Reach("127.0.0.2"), ProbeResult::kAnswered);
  }
  {
    // A minute's limit: the test ends long before it only if the
    // destructor cancels the probe under way.
    Reachability reachability(milliseconds(60000), listener.port);
    reachability.StartReachingAll({"127.0.0.1"});
  }
}

}  // namespace
}  // namespace smb
