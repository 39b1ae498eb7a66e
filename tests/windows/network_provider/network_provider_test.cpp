// The test network provider called as the provider router calls it: loaded
// from its library, its entry points looked up by their plain names, over
// a LAN directory that the test writes before the first enumeration (the
// provider reads its LAN once).
#include <windows.h>
#include <winnetwk.h>
// The provider interface needs the Windows types first.
#include <npapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/windows/network_provider/provider_identity.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDescription = R"({
  "Children": [
    {
      "Network": "Microsoft Windows Network",
      "Children": [
        { "Workgroup": "OFFICE", "MaxRecordsPerBatch": 2, "Children": [ "ATLAS", "BOREAS", "Café" ] },
        { "Workgroup": "LAB", "EnumError": 1222, "EnumErrorAfterBatches": 1, "Children": [ "DEIMOS" ] },
        { "Workgroup": "ARCHIVE", "OpenError": 5 },
        { "RemoteName": "\\\\FILESERVER\\Public", "DisplayType": "share", "Usage": "connectable" }
      ]
    },
    { "Network": "Kestrova Test LAN", "Children": [ "LOOP" ] },
    { "Network": null, "Children": [ "ANOTHER-LOOP" ] },
    { "Workgroup": null, "Children": [ "NAMELESS-PC" ] }
  ]
})";

// One record as the router receives it.
struct Received {
  DWORD DisplayType;
  DWORD Usage;
  std::wstring RemoteName;  // "(null)" for a null pointer
  std::wstring Provider;
};

std::wstring Text(const wchar_t* text) { return text == nullptr ? L"(null)" : text; }

// The provider's entry points.
using GetCapsFunction = DWORD(WINAPI*)(DWORD);
using OpenEnumFunction = DWORD(WINAPI*)(DWORD, DWORD, DWORD, LPNETRESOURCEW, LPHANDLE);
using EnumResourceFunction = DWORD(WINAPI*)(HANDLE, LPDWORD, LPVOID, LPDWORD);
using CloseEnumFunction = DWORD(WINAPI*)(HANDLE);
GetCapsFunction NPGetCaps;
OpenEnumFunction NPOpenEnum;
EnumResourceFunction NPEnumResource;
CloseEnumFunction NPCloseEnum;

template <typename Function>
Function EntryPoint(HMODULE module, const char* name) {
  // Through the function type that matches every other one.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loads the library beside this program; false when an entry point is
// missing.
bool LoadProvider() {
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const fs::path library = fs::path(program).parent_path() / network_provider::kLibraryFileName;
  const HMODULE module = LoadLibraryW(library.wstring().c_str());
  if (module == nullptr) return false;
  NPGetCaps = EntryPoint<GetCapsFunction>(module, "NPGetCaps");
  NPOpenEnum = EntryPoint<OpenEnumFunction>(module, "NPOpenEnum");
  NPEnumResource = EntryPoint<EnumResourceFunction>(module, "NPEnumResource");
  NPCloseEnum = EntryPoint<CloseEnumFunction>(module, "NPCloseEnum");
  return NPGetCaps != nullptr && NPOpenEnum != nullptr && NPEnumResource != nullptr && NPCloseEnum != nullptr;
}

// Loads the provider once, before any test.
class ProviderEnvironment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(LoadProvider()) << "the provider library or an entry point is missing"; }
};
const testing::Environment* const provider_environment = testing::AddGlobalTestEnvironment(new ProviderEnvironment);

class NetworkProviderTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    wchar_t temporary[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temporary);
    directory_ = fs::path(temporary) / ("kestrova-provider-test-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(directory_);
    std::ofstream(directory_ / "lan.json", std::ios::binary) << kDescription;
    // The provider's messages (the record it leaves out) go to standard
    // error; the test looks at what it serves.
    _wputenv_s(network_provider::kLanDirectoryVariable, directory_.wstring().c_str());
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  // Opens the level below a record: a null remote name with the display
  // type of a network is the router's record for the provider.
  static DWORD Open(const wchar_t* remote_name, DWORD display_type, DWORD usage, HANDLE& handle) {
    NETRESOURCEW record{};
    record.dwScope = RESOURCE_GLOBALNET;
    record.dwDisplayType = display_type;
    record.dwUsage = usage;
    record.lpRemoteName = const_cast<wchar_t*>(remote_name);
    record.lpProvider = const_cast<wchar_t*>(network_provider::kProviderName);
    return NPOpenEnum(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &record, &handle);
  }

  static DWORD OpenTop(HANDLE& handle) {
    return Open(nullptr, RESOURCEDISPLAYTYPE_NETWORK, RESOURCEUSAGE_CONTAINER | RESOURCEUSAGE_RESERVED, handle);
  }

  // Enumerates a level as the router does for a program that asks for as
  // many records as fit: batch sizes, then the code that ended the level.
  static std::vector<Received> Enumerate(HANDLE handle, std::vector<DWORD>* batches, DWORD* ended) {
    std::vector<Received> records;
    std::vector<BYTE> buffer(16416);
    DWORD count = 0xFFFFFFFF;
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD status;
    while ((status = NPEnumResource(handle, &count, buffer.data(), &size)) == WN_SUCCESS) {
      if (batches != nullptr) batches->push_back(count);
      const auto* received = reinterpret_cast<const NETRESOURCEW*>(buffer.data());
      for (DWORD i = 0; i < count; ++i) {
        records.push_back({received[i].dwDisplayType, received[i].dwUsage, Text(received[i].lpRemoteName),
                           Text(received[i].lpProvider)});
      }
    }
    if (ended != nullptr) *ended = status;
    EXPECT_EQ(NPCloseEnum(handle), WN_SUCCESS);
    return records;
  }

  static std::vector<std::wstring> RemoteNames(const std::vector<Received>& records) {
    std::vector<std::wstring> names;
    for (const Received& record : records) names.push_back(record.RemoteName);
    return names;
  }

  static fs::path directory_;
};

fs::path NetworkProviderTest::directory_;

TEST(NetworkProviderCapsTest, AnswersEnumerationOfTheGlobalNetworkAndNothingElse) {
  const struct {
    DWORD Index;
    DWORD Expected;
  } cases[] = {
      {WNNC_SPEC_VERSION, WNNC_SPEC_VERSION51},
      {WNNC_NET_TYPE, WNNC_NET_LANMAN},
      {WNNC_ENUMERATION, WNNC_ENUM_GLOBAL},
      {WNNC_START, 1},
      {WNNC_CONNECTION, 0},
      {WNNC_USER, 0},
      {WNNC_DIALOG, 0},
      {WNNC_ADMIN, 0},
  };
  for (const auto& entry : cases) EXPECT_EQ(NPGetCaps(entry.Index), entry.Expected) << "index " << entry.Index;
}

TEST_F(NetworkProviderTest, RoutersRecordOpensTheDescriptionsTopLevelNamingTheProvider) {
  HANDLE handle = nullptr;
  ASSERT_EQ(OpenTop(handle), WN_SUCCESS);
  DWORD ended = 0;
  const std::vector<Received> records = Enumerate(handle, nullptr, &ended);
  EXPECT_EQ(ended, WN_NO_MORE_ENTRIES);
  // The network named like the provider, and the nameless one, would open
  // this level again.
  EXPECT_EQ(RemoteNames(records), (std::vector<std::wstring>{L"Microsoft Windows Network", L"(null)"}));
  for (const Received& record : records) EXPECT_EQ(record.Provider, network_provider::kProviderName);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].DisplayType, static_cast<DWORD>(RESOURCEDISPLAYTYPE_NETWORK));
  EXPECT_EQ(records[1].DisplayType, static_cast<DWORD>(RESOURCEDISPLAYTYPE_DOMAIN));

  // Without a record at all, the provider serves the same level.
  ASSERT_EQ(NPOpenEnum(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &handle), WN_SUCCESS);
  EXPECT_EQ(RemoteNames(Enumerate(handle, nullptr, nullptr)), RemoteNames(records));
}

TEST_F(NetworkProviderTest, ContainersAreFoundByRemoteNameInAnyCaseWithTheirFaults) {
  HANDLE handle = nullptr;
  ASSERT_EQ(Open(L"office", RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, handle), WN_SUCCESS);
  std::vector<DWORD> batches;
  const std::vector<Received> office = Enumerate(handle, &batches, nullptr);
  EXPECT_EQ(RemoteNames(office), (std::vector<std::wstring>{L"\\\\ATLAS", L"\\\\BOREAS", L"\\\\Caf\u00e9"}));
  EXPECT_EQ(batches, (std::vector<DWORD>{2, 1}));

  ASSERT_EQ(Open(L"LAB", RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, handle), WN_SUCCESS);
  DWORD ended = 0;
  EXPECT_EQ(RemoteNames(Enumerate(handle, nullptr, &ended)), std::vector<std::wstring>{L"\\\\DEIMOS"});
  EXPECT_EQ(ended, 1222u);

  // A container without a remote name is found by a record without one
  // that is no network.
  ASSERT_EQ(Open(nullptr, RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, handle), WN_SUCCESS);
  EXPECT_EQ(RemoteNames(Enumerate(handle, nullptr, nullptr)), std::vector<std::wstring>{L"\\\\NAMELESS-PC"});
}

TEST_F(NetworkProviderTest, OpeningWhatCannotBeEnumeratedFails) {
  HANDLE handle = nullptr;
  EXPECT_EQ(Open(L"ARCHIVE", RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, handle), 5u);
  EXPECT_EQ(Open(L"NOWHERE", RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, handle),
            static_cast<DWORD>(ERROR_BAD_NETPATH));
  EXPECT_EQ(Open(L"\\\\FILESERVER\\Public", RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONTAINER, handle),
            static_cast<DWORD>(ERROR_BAD_NETPATH));
  EXPECT_EQ(Open(L"OFFICE", RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONNECTABLE, handle),
            static_cast<DWORD>(WN_NOT_CONTAINER));
  EXPECT_EQ(NPOpenEnum(RESOURCE_CONNECTED, RESOURCETYPE_ANY, 0, nullptr, &handle),
            static_cast<DWORD>(WN_NOT_SUPPORTED));
  EXPECT_EQ(NPOpenEnum(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, nullptr), static_cast<DWORD>(WN_BAD_POINTER));
}

TEST_F(NetworkProviderTest, BufferTooSmallForOneRecordTellsTheSizeNeeded) {
  HANDLE handle = nullptr;
  ASSERT_EQ(Open(L"OFFICE", RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, handle), WN_SUCCESS);
  // \\ATLAS and the provider's name, each with its terminating zero.
  const DWORD needed =
      sizeof(NETRESOURCEW) + (8 + std::wstring(network_provider::kProviderName).size() + 1) * sizeof(wchar_t);
  std::vector<BYTE> buffer(needed + 1);
  DWORD count = 0xFFFFFFFF;
  DWORD size = needed - 1;
  EXPECT_EQ(NPEnumResource(handle, &count, buffer.data(), &size), static_cast<DWORD>(WN_MORE_DATA));
  EXPECT_EQ(size, needed);

  // An odd size leaves the strings on even addresses.
  size = needed + 1;
  ASSERT_EQ(NPEnumResource(handle, &count, buffer.data(), &size), WN_SUCCESS);
  ASSERT_EQ(count, 1u);
  const auto* record = reinterpret_cast<const NETRESOURCEW*>(buffer.data());
  EXPECT_EQ(Text(record->lpRemoteName), L"\\\\ATLAS");
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(record->lpRemoteName) % 2, 0u);
  EXPECT_EQ(record->lpLocalName, nullptr);
  EXPECT_EQ(record->lpComment, nullptr);

  EXPECT_EQ(NPCloseEnum(handle), WN_SUCCESS);
  EXPECT_EQ(NPCloseEnum(handle), static_cast<DWORD>(WN_BAD_HANDLE));
  EXPECT_EQ(NPEnumResource(handle, &count, buffer.data(), &size), static_cast<DWORD>(WN_BAD_HANDLE));
}

}  // namespace
