// The deadline of a transfer that libsmbclient would otherwise wait out:
// the socket that appeared while connecting is found, and a wait on it
// ends once the deadline passes, over a loopback connection whose server
// never answers.
#include "platform/smb/socket_deadline.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace smb {
namespace {

ino_t Inode(int descriptor) {
  struct stat information {};
  fstat(descriptor, &information);
  return information.st_ino;
}

class SocketDeadlineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(listener_, 4), 0);
    ASSERT_EQ(getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size), 0);
    before_ = TcpSockets();
    client_ = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client_, reinterpret_cast<sockaddr*>(&address), size), 0);
  }
  void TearDown() override {
    close(client_);
    close(listener_);
  }

  int listener_ = -1;
  int client_ = -1;
  SocketSet before_;
};

TEST_F(SocketDeadlineTest, TheOneNewSocketIsFound) {
  const int found = DuplicateNewSocket(before_, TcpSockets());
  ASSERT_GE(found, 0);
  EXPECT_EQ(Inode(found), Inode(client_));
  close(found);
  // The server's end of the connection makes two new sockets: which one
  // is the connection's cannot be told.
  const int accepted = accept(listener_, nullptr, nullptr);
  EXPECT_EQ(DuplicateNewSocket(before_, TcpSockets()), -1);
  close(accepted);
}

TEST_F(SocketDeadlineTest, AWaitEndsAtTheDeadlineAndNotBefore) {
  SocketDeadline watch(DuplicateNewSocket(before_, TcpSockets()));
  // Disarmed in time: the connection is untouched.
  watch.Arm(std::chrono::steady_clock::now() + std::chrono::minutes(1));
  EXPECT_FALSE(watch.Disarm());
  pollfd waiting{client_, POLLIN, 0};
  EXPECT_EQ(poll(&waiting, 1, 0), 0);
  // Armed while the server says nothing: the wait ends (within its own
  // limit of a minute) with the connection shut.
  watch.Arm(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
  ASSERT_EQ(poll(&waiting, 1, 60 * 1000), 1);
  EXPECT_TRUE(watch.Disarm());
  char byte = 0;
  EXPECT_EQ(recv(client_, &byte, 1, 0), 0);
}

}  // namespace
}  // namespace smb
