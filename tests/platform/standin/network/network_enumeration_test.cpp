#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/lan/model_level.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/locale/locale_control.h"
#include "platform/standin/network/network_control.h"
#include "platform/windows_api.h"
#include "tests/support/network_records.h"

namespace {

using lan::NetworkRecord;
using testing_support::Container;
using testing_support::Server;

constexpr DWORD kAsManyAsFit = 0xFFFFFFFF;
constexpr DWORD kWholeBuffer = 16416;

NetworkRecord Share(std::string remote_name) {
  NetworkRecord record;
  record.Type = RESOURCETYPE_DISK;
  record.DisplayType = RESOURCEDISPLAYTYPE_SHARE;
  record.Usage = RESOURCEUSAGE_CONNECTABLE;
  record.RemoteName = std::move(remote_name);
  return record;
}

std::vector<NetworkRecord> Servers(int count) {
  std::vector<NetworkRecord> servers;
  for (int i = 1; i <= count; ++i) servers.push_back(Server("PC" + std::to_string(i)));
  return servers;
}

// What one WNetEnumResourceA call gave, with the records copied out.
struct Batch {
  DWORD Result;
  std::vector<std::string> RemoteNames;
};

class NetworkEnumerationTest : public ::testing::Test {
 protected:
  void SetUp() override { standin::ClearEnumerationRequests(); }
  void TearDown() override {
    for (HANDLE handle : opened_) WNetCloseEnum(handle);
    EXPECT_EQ(standin::OpenEnumerationCount(), 0u);
    standin::UseEmptyLanForTesting();
  }

  void UseTop(NetworkRecord top) {
    lan::Lan lan;
    lan.Top = std::move(top);
    standin::UseLanForTesting(std::move(lan), diagnostics_);
  }
  void UseTopLevel(std::vector<NetworkRecord> children) {
    NetworkRecord top;
    top.Children = std::move(children);
    UseTop(std::move(top));
  }

  HANDLE Open(NETRESOURCEA* parent = nullptr) {
    HANDLE handle = nullptr;
    EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, parent, &handle), NO_ERROR);
    opened_.push_back(handle);
    return handle;
  }

  Batch Next(HANDLE handle, DWORD& count, DWORD& size) {
    Batch batch;
    batch.Result = WNetEnumResourceA(handle, &count, buffer_.data(), &size);
    if (batch.Result == NO_ERROR) {
      for (DWORD i = 0; i < count; ++i) {
        const char* name = Record(i).lpRemoteName;
        batch.RemoteNames.push_back(name == nullptr ? "(null)" : name);
      }
    }
    return batch;
  }

  NETRESOURCEA Record(DWORD index) const {
    NETRESOURCEA record;
    std::memcpy(&record, buffer_.data() + index * sizeof(NETRESOURCEA), sizeof record);
    return record;
  }

  // Every remote name that one level gives, as the program reads it:
  // count and size set once and passed back between batches.
  std::vector<std::string> WholeLevel(NETRESOURCEA* parent) {
    HANDLE handle = Open(parent);
    std::vector<std::string> names;
    DWORD count = kAsManyAsFit;
    DWORD size = kWholeBuffer;
    for (Batch batch = Next(handle, count, size); batch.Result == NO_ERROR; batch = Next(handle, count, size)) {
      names.insert(names.end(), batch.RemoteNames.begin(), batch.RemoteNames.end());
    }
    return names;
  }

  bool InBuffer(const char* text, DWORD size) const { return text >= buffer_.data() && text < buffer_.data() + size; }

  std::array<char, kWholeBuffer> buffer_{};
  std::vector<HANDLE> opened_;
  std::ostringstream diagnostics_;  // of the LAN in use
};

TEST_F(NetworkEnumerationTest, RecordsStartTheBufferAndTheirStringsEndIt) {
  NetworkRecord full = Share("\\\\PC1\\Public");
  full.LocalName = "Z:";
  full.Comment = "shared files";
  full.Provider = "Microsoft Windows Network";
  NetworkRecord bare;  // no names at all
  bare.DisplayType = RESOURCEDISPLAYTYPE_GENERIC;
  bare.Scope = RESOURCE_GLOBALNET;
  UseTopLevel({full, bare});

  static_assert(sizeof(NETRESOURCEA) == 48, "four DWORDs and four pointers");
  constexpr DWORD kSize = 200;
  HANDLE handle = Open();
  DWORD count = kAsManyAsFit;
  DWORD size = kSize;
  ASSERT_EQ(WNetEnumResourceA(handle, &count, buffer_.data(), &size), NO_ERROR);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(size, kSize);

  const NETRESOURCEA first = Record(0);
  EXPECT_EQ(first.dwScope, RESOURCE_GLOBALNET);
  EXPECT_EQ(first.dwType, RESOURCETYPE_DISK);
  EXPECT_EQ(first.dwDisplayType, RESOURCEDISPLAYTYPE_SHARE);
  EXPECT_EQ(first.dwUsage, RESOURCEUSAGE_CONNECTABLE);
  EXPECT_STREQ(first.lpLocalName, "Z:");
  EXPECT_STREQ(first.lpRemoteName, "\\\\PC1\\Public");
  EXPECT_STREQ(first.lpComment, "shared files");
  EXPECT_STREQ(first.lpProvider, "Microsoft Windows Network");
  for (const char* text : {first.lpLocalName, first.lpRemoteName, first.lpComment, first.lpProvider}) {
    EXPECT_TRUE(InBuffer(text, kSize));
    EXPECT_GE(text, buffer_.data() + 2 * sizeof(NETRESOURCEA)) << "a string overlaps the records";
  }
  // Packed from the end: the first string placed ends the buffer.
  EXPECT_EQ(first.lpLocalName + std::strlen(first.lpLocalName) + 1, buffer_.data() + kSize);

  const NETRESOURCEA second = Record(1);
  EXPECT_EQ(second.lpLocalName, nullptr);
  EXPECT_EQ(second.lpRemoteName, nullptr);
  EXPECT_EQ(second.lpComment, nullptr);
  EXPECT_EQ(second.lpProvider, nullptr);
}

TEST_F(NetworkEnumerationTest, TooSmallForOneRecordAsksForTheSizeItNeeds) {
  UseTopLevel({Server("ALPHA"), Server("BRAVO")});
  const DWORD needed = sizeof(NETRESOURCEA) + sizeof("\\\\ALPHA") + sizeof("Microsoft Windows Network");
  HANDLE handle = Open();

  for (DWORD too_small : {DWORD{0}, DWORD{47}, needed - 1}) {
    DWORD count = kAsManyAsFit;
    DWORD size = too_small;
    EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer_.data(), &size), ERROR_MORE_DATA) << too_small;
    EXPECT_EQ(size, needed);
    EXPECT_EQ(count, kAsManyAsFit);
  }
  // Exactly the size it asked for holds the record, and nothing was lost.
  DWORD count = kAsManyAsFit;
  DWORD size = needed;
  const Batch batch = Next(handle, count, size);
  EXPECT_EQ(batch.Result, NO_ERROR);
  EXPECT_EQ(batch.RemoteNames, std::vector<std::string>{"\\\\ALPHA"});
}

TEST_F(NetworkEnumerationTest, BatchHoldsWhatIsAskedForWhatFitsAndWhatTheLevelAllows) {
  struct Case {
    const char* what;
    std::optional<DWORD> max_per_batch;
    DWORD count;
    DWORD size;
    DWORD expected;
  };
  const DWORD server_bytes = sizeof(NETRESOURCEA) + sizeof("\\\\PC1") + sizeof("Microsoft Windows Network");
  const Case cases[] = {
      {"everything fits", std::nullopt, kAsManyAsFit, kWholeBuffer, 9},
      {"count asked for", std::nullopt, 3, kWholeBuffer, 3},
      {"buffer room", std::nullopt, kAsManyAsFit, 4 * server_bytes + server_bytes - 1, 4},
      {"level's limit", 2, kAsManyAsFit, kWholeBuffer, 2},
      {"smaller count than the limit", 4, 3, kWholeBuffer, 3},
      // A level makes no more records at a time than this, whatever the
      // buffer.
      {"most made at a time", std::nullopt, kAsManyAsFit, 2000 * server_bytes, 1024},
  };
  std::vector<char> large(2000 * server_bytes);
  for (const Case& c : cases) {
    NetworkRecord top;
    top.Children = Servers(c.size > kWholeBuffer ? 1500 : 9);
    top.MaxRecordsPerBatch = c.max_per_batch;
    UseTop(top);
    HANDLE handle = Open();
    DWORD count = c.count;
    DWORD size = c.size;
    EXPECT_EQ(WNetEnumResourceA(handle, &count, c.size > kWholeBuffer ? large.data() : buffer_.data(), &size), NO_ERROR)
        << c.what;
    EXPECT_EQ(count, c.expected) << c.what;
  }
}

TEST_F(NetworkEnumerationTest, FirstBatchOfFiveIsFollowedByARequestForAtMostFive) {
  NetworkRecord top;
  top.Children = Servers(12);
  top.MaxRecordsPerBatch = 5;
  UseTop(top);

  const std::vector<std::string> names = WholeLevel(nullptr);
  EXPECT_EQ(names.size(), 12u);
  EXPECT_EQ(names.front(), "\\\\PC1");
  EXPECT_EQ(names.back(), "\\\\PC12");

  const std::vector<standin::EnumerationRequest>& requests = standin::EnumerationRequests();
  ASSERT_EQ(requests.size(), 4u);  // 5, 5, 2, then the end
  EXPECT_EQ(requests[0].Count, kAsManyAsFit);
  EXPECT_EQ(requests[0].Size, kWholeBuffer);
  EXPECT_EQ(requests[1].Count, 5u);
  EXPECT_EQ(requests[2].Count, 5u);
  EXPECT_EQ(requests[3].Count, 2u);
  for (const auto& request : requests) EXPECT_EQ(request.Size, kWholeBuffer);
}

TEST_F(NetworkEnumerationTest, EndOfLevelAnswersNoMoreItemsEveryTime) {
  UseTopLevel({});
  HANDLE handle = Open();
  for (int i = 0; i < 2; ++i) {
    DWORD count = kAsManyAsFit;
    DWORD size = kWholeBuffer;
    EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer_.data(), &size), ERROR_NO_MORE_ITEMS);
  }
}

TEST_F(NetworkEnumerationTest, EnumerationFailsAfterTheGivenNumberOfBatchesAndStaysFailed) {
  for (int after : {0, 1, 2}) {
    NetworkRecord top;
    top.Children = Servers(6);
    top.MaxRecordsPerBatch = 2;
    top.EnumError = ERROR_NO_NETWORK;
    top.EnumErrorAfterBatches = after;
    UseTop(top);
    HANDLE handle = Open();
    DWORD count = kAsManyAsFit;
    DWORD size = kWholeBuffer;
    for (int batch = 0; batch < after; ++batch) {
      EXPECT_EQ(Next(handle, count, size).Result, NO_ERROR) << after;
    }
    EXPECT_EQ(Next(handle, count, size).Result, ERROR_NO_NETWORK) << after;
    EXPECT_EQ(Next(handle, count, size).Result, ERROR_NO_NETWORK) << after;
  }
}

TEST_F(NetworkEnumerationTest, OpenFailsWithTheLevelsCode) {
  NetworkRecord top;
  top.OpenError = ERROR_NO_NETWORK;
  top.Children = Servers(1);
  UseTop(top);
  HANDLE handle = nullptr;
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &handle), ERROR_NO_NETWORK);
  EXPECT_EQ(standin::OpenEnumerationCount(), 0u);

  NetworkRecord locked = Container("LOCKED", RESOURCEDISPLAYTYPE_DOMAIN, Servers(1));
  locked.OpenError = ERROR_ACCESS_DENIED;
  UseTopLevel({locked, Container("OPEN", RESOURCEDISPLAYTYPE_DOMAIN, Servers(1))});
  NETRESOURCEA parent{};
  parent.dwUsage = RESOURCEUSAGE_CONTAINER;
  parent.lpRemoteName = const_cast<char*>("LOCKED");
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &parent, &handle), ERROR_ACCESS_DENIED);
  parent.lpRemoteName = const_cast<char*>("OPEN");
  EXPECT_EQ(WholeLevel(&parent), std::vector<std::string>{"\\\\PC1"});
}

TEST_F(NetworkEnumerationTest, ClosedAndUnknownHandlesAreInvalid) {
  UseTopLevel(Servers(1));
  HANDLE handle = nullptr;
  ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &handle), NO_ERROR);
  HANDLE other = nullptr;
  ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &other), NO_ERROR);
  EXPECT_NE(handle, other);
  EXPECT_EQ(standin::OpenEnumerationCount(), 2u);

  EXPECT_EQ(WNetCloseEnum(handle), NO_ERROR);
  EXPECT_EQ(standin::OpenEnumerationCount(), 1u);
  DWORD count = kAsManyAsFit;
  DWORD size = kWholeBuffer;
  EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer_.data(), &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WNetCloseEnum(handle), ERROR_INVALID_HANDLE);
  for (HANDLE never_opened : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, GetStdHandle(STD_OUTPUT_HANDLE)}) {
    EXPECT_EQ(WNetEnumResourceA(never_opened, &count, buffer_.data(), &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WNetCloseEnum(never_opened), ERROR_INVALID_HANDLE);
  }
  // Closing one handle leaves the other working.
  EXPECT_EQ(WNetEnumResourceA(other, &count, buffer_.data(), &size), NO_ERROR);
  EXPECT_EQ(WNetCloseEnum(other), NO_ERROR);
}

TEST_F(NetworkEnumerationTest, BadArgumentsAreRefused) {
  UseTopLevel(Servers(1));
  HANDLE handle = nullptr;
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, nullptr), ERROR_INVALID_ADDRESS);
  EXPECT_EQ(WNetOpenEnumA(9, RESOURCETYPE_ANY, 0, nullptr, &handle), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, 7, 0, nullptr, &handle), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(standin::OpenEnumerationCount(), 0u);

  handle = Open();
  DWORD count = 0;
  DWORD size = kWholeBuffer;
  EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer_.data(), &size), ERROR_INVALID_PARAMETER);
  count = kAsManyAsFit;
  EXPECT_EQ(WNetEnumResourceA(handle, nullptr, buffer_.data(), &size), ERROR_INVALID_ADDRESS);
  EXPECT_EQ(WNetEnumResourceA(handle, &count, buffer_.data(), nullptr), ERROR_INVALID_ADDRESS);
  EXPECT_EQ(WNetEnumResourceA(handle, &count, nullptr, &size), ERROR_INVALID_ADDRESS);
  // None of that used up the record.
  EXPECT_EQ(Next(handle, count, size).RemoteNames, std::vector<std::string>{"\\\\PC1"});
}

TEST_F(NetworkEnumerationTest, ScopesOtherThanTheGlobalNetworkHoldNothing) {
  UseTopLevel(Servers(2));
  for (DWORD scope : {RESOURCE_CONNECTED, RESOURCE_REMEMBERED, RESOURCE_CONTEXT}) {
    HANDLE handle = nullptr;
    ASSERT_EQ(WNetOpenEnumA(scope, RESOURCETYPE_ANY, 0, nullptr, &handle), NO_ERROR) << scope;
    opened_.push_back(handle);
    DWORD count = kAsManyAsFit;
    DWORD size = kWholeBuffer;
    EXPECT_EQ(Next(handle, count, size).Result, ERROR_NO_MORE_ITEMS) << scope;
  }
}

TEST_F(NetworkEnumerationTest, TypeAndUsageSelectRecords) {
  NetworkRecord printer = Share("\\\\PC1\\Laser");
  printer.Type = RESOURCETYPE_PRINT;
  UseTopLevel({Server("PC1"), Share("\\\\PC1\\Public"), printer});
  struct Case {
    DWORD type;
    DWORD usage;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {RESOURCETYPE_ANY, 0, {"\\\\PC1", "\\\\PC1\\Public", "\\\\PC1\\Laser"}},
      {RESOURCETYPE_ANY, RESOURCEUSAGE_ALL, {"\\\\PC1", "\\\\PC1\\Public", "\\\\PC1\\Laser"}},
      {RESOURCETYPE_DISK, 0, {"\\\\PC1", "\\\\PC1\\Public"}},
      {RESOURCETYPE_PRINT, 0, {"\\\\PC1", "\\\\PC1\\Laser"}},
      {RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, {"\\\\PC1"}},
      {RESOURCETYPE_ANY, RESOURCEUSAGE_CONNECTABLE, {"\\\\PC1\\Public", "\\\\PC1\\Laser"}},
  };
  for (const Case& c : cases) {
    HANDLE handle = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, c.type, c.usage, nullptr, &handle), NO_ERROR);
    opened_.push_back(handle);
    DWORD count = kAsManyAsFit;
    DWORD size = kWholeBuffer;
    EXPECT_EQ(Next(handle, count, size).RemoteNames, c.expected) << c.type << " " << c.usage;
  }
}

TEST_F(NetworkEnumerationTest, ParentIsFoundByItsNamesWhereverTheRecordLives) {
  NetworkRecord unnamed = Container("", RESOURCEDISPLAYTYPE_DOMAIN, Servers(1));
  unnamed.RemoteName.reset();
  unnamed.Provider = "Other Network";
  NetworkRecord second = Container("WORKGROUP", RESOURCEDISPLAYTYPE_DOMAIN, {Server("PC2")});
  second.Provider = "Second Network";
  UseTopLevel({Container("Microsoft Windows Network", RESOURCEDISPLAYTYPE_NETWORK,
                         {Container("WORKGROUP", RESOURCEDISPLAYTYPE_DOMAIN,
                                    {Container("\\\\PC1", RESOURCEDISPLAYTYPE_SERVER, {Share("\\\\PC1\\Public")})})}),
               unnamed, second});

  struct Case {
    const char* remote_name;
    const char* provider;
    DWORD usage;
    DWORD expected_result;
    std::vector<std::string> expected_names;
  };
  const Case cases[] = {
      {"WORKGROUP", "Microsoft Windows Network", RESOURCEUSAGE_CONTAINER, NO_ERROR, {"\\\\PC1"}},
      {"workgroup", nullptr, RESOURCEUSAGE_CONTAINER, NO_ERROR, {"\\\\PC1"}},
      {"WORKGROUP", "second network", RESOURCEUSAGE_CONTAINER, NO_ERROR, {"\\\\PC2"}},
      {"\\\\pc1", nullptr, RESOURCEUSAGE_CONTAINER | RESOURCEUSAGE_CONNECTABLE, NO_ERROR, {"\\\\PC1\\Public"}},
      {nullptr, "Other Network", RESOURCEUSAGE_CONTAINER, NO_ERROR, {"\\\\PC1"}},
      {"WORKGROUP", "Other Network", RESOURCEUSAGE_CONTAINER, ERROR_BAD_NETPATH, {}},
      {"NOSUCHGROUP", nullptr, RESOURCEUSAGE_CONTAINER, ERROR_BAD_NETPATH, {}},
      {"\\\\PC1\\Public", nullptr, RESOURCEUSAGE_CONTAINER, ERROR_BAD_NETPATH, {}},
      {"WORKGROUP", nullptr, RESOURCEUSAGE_CONNECTABLE, ERROR_NOT_CONTAINER, {}},
  };
  for (const Case& c : cases) {
    // A record of the caller's own, not one that the enumeration wrote.
    std::string remote_name = c.remote_name == nullptr ? "" : c.remote_name;
    std::string provider = c.provider == nullptr ? "" : c.provider;
    NETRESOURCEA parent{};
    parent.dwScope = RESOURCE_GLOBALNET;
    parent.dwUsage = c.usage;
    parent.lpRemoteName = c.remote_name == nullptr ? nullptr : remote_name.data();
    parent.lpProvider = c.provider == nullptr ? nullptr : provider.data();
    HANDLE handle = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &parent, &handle), c.expected_result)
        << (c.remote_name ? c.remote_name : "(null)");
    if (c.expected_result != NO_ERROR) continue;
    opened_.push_back(handle);
    DWORD count = kAsManyAsFit;
    DWORD size = kWholeBuffer;
    EXPECT_EQ(Next(handle, count, size).RemoteNames, c.expected_names) << (c.remote_name ? c.remote_name : "(null)");
  }
}

TEST_F(NetworkEnumerationTest, ServerUnderTwoContainersIsEnumeratedInBoth) {
  NetworkRecord shared_server = Container("\\\\SHARED", RESOURCEDISPLAYTYPE_SERVER, {Share("\\\\SHARED\\Data")});
  UseTopLevel({Container("EAST", RESOURCEDISPLAYTYPE_DOMAIN, {Server("E1"), shared_server}),
               Container("WEST", RESOURCEDISPLAYTYPE_DOMAIN, {shared_server, Server("W1")})});

  NETRESOURCEA parent{};
  parent.dwUsage = RESOURCEUSAGE_CONTAINER;
  parent.lpRemoteName = const_cast<char*>("EAST");
  EXPECT_EQ(WholeLevel(&parent), (std::vector<std::string>{"\\\\E1", "\\\\SHARED"}));
  parent.lpRemoteName = const_cast<char*>("WEST");
  EXPECT_EQ(WholeLevel(&parent), (std::vector<std::string>{"\\\\SHARED", "\\\\W1"}));
  parent.lpRemoteName = const_cast<char*>("\\\\SHARED");
  EXPECT_EQ(WholeLevel(&parent), std::vector<std::string>{"\\\\SHARED\\Data"});
}

// A source whose every level holds the workgroup \u03a9, and which notes
// the remote name of each container that a level is opened for.
class RecordingSource final : public lan::LanSource {
 public:
  explicit RecordingSource(std::vector<std::u16string>& opened) : opened_(opened) {
    level_.Children = {Container("\xCE\xA9", RESOURCEDISPLAYTYPE_DOMAIN)};
  }
  DWORD OpenLevel(const lan::BrowseRecord* container, DWORD type, DWORD usage,
                  std::unique_ptr<lan::BrowseLevel>& level) override {
    if (container != nullptr) opened_.push_back(container->RemoteName.value_or(u"(null)"));
    level = std::make_unique<lan::ModelLevel>(level_, type, usage);
    return NO_ERROR;
  }
  DWORD ConnectRegistry(std::u16string_view, HKEY, std::unique_ptr<lan::RemoteRegistry>&) override {
    return ERROR_BAD_NETPATH;
  }

 private:
  std::vector<std::u16string>& opened_;
  NetworkRecord level_;
};

// In code page 1252 the workgroup \u03a9 is handed out as "?". Handed back
// as it was written, the record reaches the source with its own name; a
// record that the caller made or changed is taken by the names it holds.
TEST_F(NetworkEnumerationTest, RecordHandedBackReachesTheSourceAsItWasHandedOut) {
  standin::LocaleFacts facts;
  facts.AnsiCodePage = 1252;
  standin::SetLocaleFactsForTesting(facts);
  struct Case {
    const char* what;
    // Makes the record to hand back from the one handed out at `written`.
    NETRESOURCEA* (*handed_back)(NETRESOURCEA* written, NETRESOURCEA& copy, HANDLE handle);
    std::u16string expected;
  };
  const Case cases[] = {
      {"as written", [](NETRESOURCEA* written, NETRESOURCEA&, HANDLE) { return written; }, u"\u03a9"},
      {"copied elsewhere",
       [](NETRESOURCEA* written, NETRESOURCEA& copy, HANDLE) {
         std::memcpy(&copy, written, sizeof copy);
         return &copy;
       },
       u"?"},
      {"renamed in place",
       [](NETRESOURCEA* written, NETRESOURCEA&, HANDLE) {
         NETRESOURCEA record;
         std::memcpy(&record, written, sizeof record);
         record.lpRemoteName[0] = 'X';
         return written;
       },
       u"X"},
      {"after its enumeration closed",
       [](NETRESOURCEA* written, NETRESOURCEA&, HANDLE handle) {
         WNetCloseEnum(handle);
         return written;
       },
       u"?"},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> opened;
    standin::UseLanForTesting(std::make_unique<RecordingSource>(opened));
    HANDLE handle = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &handle), NO_ERROR);
    DWORD count = kAsManyAsFit;
    DWORD size = kWholeBuffer;
    ASSERT_EQ(Next(handle, count, size).RemoteNames, std::vector<std::string>{"?"});
    NETRESOURCEA copy{};
    auto* written = reinterpret_cast<NETRESOURCEA*>(buffer_.data());
    NETRESOURCEA* handed_back = c.handed_back(written, copy, handle);
    HANDLE below = nullptr;
    ASSERT_EQ(WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, handed_back, &below), NO_ERROR) << c.what;
    WNetCloseEnum(below);
    WNetCloseEnum(handle);
    EXPECT_EQ(opened, std::vector<std::u16string>{c.expected}) << c.what;
  }
  standin::SetLocaleFactsForTesting(standin::LocaleFacts{});
}

}  // namespace
