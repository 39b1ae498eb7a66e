#include "platform/discovery/host_list.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/discovery/host_list_source.h"
#include "platform/discovery/port_probe.h"

namespace discovery {
namespace {

std::string Hosts(const HostList& list) {
  std::string out;
  for (const HostEntry& host : list.Hosts) out += host.Name + (host.IsAddress ? "=address " : " ");
  for (const Ipv4Range& range : list.Ranges) out += range.Text + ":" + std::to_string(range.Count) + " ";
  return out;
}

TEST(HostList, EntriesAreNamesAddressesAndRangesAndTheRestIsReportedWhereItStands) {
  struct Case {
    const char* text;
    bool is_file;
    const char* hosts;
    const char* messages;
  };
  const Case cases[] = {
      {"atlas, 10.0.0.5  fe80::1%eth0,,\tserver.example.com 192.168.1.7/30", false,
       "atlas 10.0.0.5=address fe80::1%eth0=address server.example.com 192.168.1.7/30:2 ", ""},
      {"a/b 10.0.0.0/33 10.0.0.0/08 host:445 fe80::1% ::1%a%b bad\x01name", false, "",
       "kestrova: KESTROVA_HOSTS: \"a/b\" is no IPv4 range (a.b.c.d/n); it is left out\n"
       "kestrova: KESTROVA_HOSTS: \"10.0.0.0/33\" is no IPv4 range (a.b.c.d/n); it is left out\n"
       "kestrova: KESTROVA_HOSTS: \"10.0.0.0/08\" is no IPv4 range (a.b.c.d/n); it is left out\n"
       "kestrova: KESTROVA_HOSTS: \"host:445\" is no host name, address or IPv4 range; it is left out\n"
       "kestrova: KESTROVA_HOSTS: \"fe80::1%\" is no host name, address or IPv4 range; it is left out\n"
       "kestrova: KESTROVA_HOSTS: \"::1%a%b\" is no host name, address or IPv4 range; it is left out\n"
       "kestrova: KESTROVA_HOSTS: \"bad\\x01name\" is no host name, address or IPv4 range; it is left out\n"},
      {"# the office\r\natlas # the first\n\n10.1.2.3/31 boreas\nhost:1#x\n", true, "atlas boreas 10.1.2.3/31:2 ",
       "kestrova: hosts.txt: line 5: \"host:1\" is no host name, address or IPv4 range; it is left out\n"},
      // In the environment a # is no comment.
      {"#atlas", false, "#atlas ", ""},
      // The ranges together hold at most a /16; one beyond is refused whole.
      {"10.0.0.0/8 10.0.0.0/17 10.1.0.0/17 10.2.0.0/29", false, "10.0.0.0/17:32766 10.1.0.0/17:32766 ",
       "kestrova: KESTROVA_HOSTS: \"10.0.0.0/8\" is not probed: the ranges may hold at most 65536 addresses together "
       "(a /16)\n"
       "kestrova: KESTROVA_HOSTS: \"10.2.0.0/29\" is not probed: the ranges may hold at most 65536 addresses "
       "together (a /16)\n"},
  };
  for (const Case& c : cases) {
    HostList list;
    std::ostringstream diagnostics;
    AddHostEntries(c.text, c.is_file ? "hosts.txt" : "KESTROVA_HOSTS", c.is_file, list, diagnostics);
    EXPECT_EQ(Hosts(list), c.hosts) << c.text;
    EXPECT_EQ(diagnostics.str(), c.messages) << c.text;
  }
}

TEST(HostList, RangesHoldTheirHostAddresses) {
  struct Case {
    const char* text;
    const char* first;
    std::uint64_t count;
  };
  const Case cases[] = {
      {"10.1.2.3/24", "10.1.2.1", 254},  // neither the network's address nor its broadcast
      {"10.1.2.3/31", "10.1.2.2", 2},
      {"10.1.2.3/32", "10.1.2.3", 1},
      {"0.0.0.0/0", "0.0.0.1", (std::uint64_t{1} << 32) - 2},
  };
  for (const Case& c : cases) {
    Ipv4Range range;
    ASSERT_TRUE(ParseIpv4Range(c.text, range)) << c.text;
    in_addr first{};
    inet_pton(AF_INET, c.first, &first);
    EXPECT_EQ(range.First, ntohl(first.s_addr)) << c.text;
    EXPECT_EQ(range.Count, c.count) << c.text;
  }
}

TEST(HostList, AHostFileThatCannotBeReadCostsOneMessage) {
  const std::filesystem::path directory = testing::TempDir() + "kestrova-hosts-" + std::to_string(::getpid());
  std::filesystem::create_directories(directory);
  const std::filesystem::path large = directory / "large";
  std::ofstream(large) << std::string(kMaxHostsFileBytes + 1, 'a');
  struct Case {
    std::filesystem::path path;
    std::string message;
  };
  const Case cases[] = {
      {directory / "missing", ": the host list cannot be read ("},
      {directory, ": the host list is a directory, not a file; it is not read\n"},
      {large, ": the host list is larger than 4 MiB; it is not read\n"},
  };
  for (const Case& c : cases) {
    HostList list;
    std::ostringstream diagnostics;
    ReadHostsFile(c.path, list, diagnostics);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(diagnostics.str().rfind("kestrova: " + c.path.string() + c.message, 0), 0u) << diagnostics.str();
  }
  std::filesystem::remove_all(directory);
}

// A listening socket on a loopback address, at `port` (0: any).
int Listen(const char* address, std::uint16_t& port) {
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  inet_pton(AF_INET, address, &at.sin_addr);
  socklen_t size = sizeof at;
  if (::bind(socket, reinterpret_cast<sockaddr*>(&at), size) != 0 || ::listen(socket, 8) != 0 ||
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&at), &size) != 0) {
    ::close(socket);
    return -1;
  }
  port = ntohs(at.sin_port);
  return socket;
}

TEST(HostListSource, ListsItsNamesAsGivenAndTheAddressesOfItsRangesThatAnswer) {
  // Two listeners on one port, at 127.0.0.2 and 127.0.0.5; the rest of
  // 127.0.0.0/29 refuses.
  int first = -1;
  int second = -1;
  std::uint16_t port = 0;
  for (int attempt = 0; attempt < 20 && second < 0; ++attempt) {
    if (first >= 0) ::close(first);
    port = 0;
    first = Listen("127.0.0.2", port);
    ASSERT_GE(first, 0);
    second = Listen("127.0.0.5", port);
  }
  ASSERT_GE(second, 0);
  HostList list;
  std::ostringstream diagnostics;
  AddHostEntries("127.0.0.0/29 atlas 10.0.0.9 127.0.0.5/32", "KESTROVA_HOSTS", false, list, diagnostics);
  ProbeOptions probe;
  probe.Port = port;
  probe.Parallel = 2;  // the slots are used again
  HostListSource source(list, "LAB", probe);
  std::string found;
  for (const FoundComputer& computer : source.Find(diagnostics)) {
    found += computer.Container + "/" + computer.Name + "@" + computer.Address + " ";
  }
  EXPECT_EQ(found,
            "LAB/atlas@ LAB/10.0.0.9@10.0.0.9 LAB/127.0.0.2@127.0.0.2 LAB/127.0.0.5@127.0.0.5 "
            "LAB/127.0.0.5@127.0.0.5 ");
  EXPECT_EQ(diagnostics.str(), "");
  ::close(first);
  ::close(second);
}

}  // namespace
}  // namespace discovery
