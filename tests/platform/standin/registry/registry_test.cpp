// What only the stand-in's registry has: the LAN computers' registries,
// loaded from their export files, with their faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/export/reg_file.h"
#include "platform/owned_key.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/registry/registry_control.h"
#include "tests/support/registry_backend.h"

namespace {

namespace fs = std::filesystem;

constexpr LONG Status(DWORD code) { return static_cast<LONG>(code); }

class StandinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::ResetRegistryForTesting();
    directory_ = fs::temp_directory_path() /
                 ("kestrova-registry-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory_);

    lan::Lan lan;
    lan.Computers.push_back(
        Computer("PC01", Write("PC01.reg", Regedit4("[HKEY_LOCAL_MACHINE\\Software\\Apps\\One]\r\n"
                                                    "\"DisplayName\"=\"First\"\r\n"
                                                    "\"Broken\"=\"cannot be fetched\"\r\n"
                                                    "[HKEY_LOCAL_MACHINE\\Software\\Locked\\Inner]\r\n"
                                                    "[HKEY_USERS\\.DEFAULT\\Settings]\r\n"
                                                    "[HKEY_CURRENT_USER\\Ignored]\r\n"
                                                    "\"x\"=\"y\"\r\n"))));
    lan.Computers.back().DeniedKeys = {"Software\\Locked"};
    lan.Computers.back().FailingValues = {{"Software\\Apps\\One", "broken", ERROR_IO_DEVICE}};
    lan.Computers.push_back(Computer("\\\\PC02", Write("PC02.reg", Regedit5("[HKEY_LOCAL_MACHINE\\Software\\Wide]\r\n"
                                                                            "\"DisplayName\"=\"Second\"\r\n"))));
    corrupt_file_ = Write("PC03.reg", "REGEDIT5\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n");
    lan.Computers.push_back(Computer("pc03", corrupt_file_));
    lan.Computers.push_back(Computer("PC04", ""));
    lan.Computers.back().ConnectError = 1722;  // RPC_S_SERVER_UNAVAILABLE
    lan.Computers.push_back(Computer("PC05", ""));
    missing_file_ = directory_ / "missing.reg";
    lan.Computers.push_back(Computer("PC06", missing_file_));
    standin::UseLanForTesting(std::move(lan), diagnostics_);
  }

  void TearDown() override {
    EXPECT_EQ(standin::OpenRegistryHandleCount(), 0) << "a registry handle was left open";
    standin::ResetRegistryForTesting();
    standin::UseEmptyLanForTesting();
    fs::remove_all(directory_);
  }

  static lan::Computer Computer(std::string name, fs::path file) {
    lan::Computer computer;
    computer.Name = std::move(name);
    computer.RegistryFile = std::move(file);
    return computer;
  }

  fs::path Write(const std::string& name, const std::string& contents) {
    const fs::path path = directory_ / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  fs::path directory_;
  fs::path corrupt_file_;
  fs::path missing_file_;
  std::ostringstream diagnostics_;  // of the LAN in use
};

TEST_F(StandinRegistryTest, ComputersAreReachedByNameWithOrWithoutBackslashesInAnyCase) {
  struct Case {
    const char* machine;
    LONG status;
  };
  const Case cases[] = {
      {"\\\\PC01", ERROR_SUCCESS},
      {"PC01", ERROR_SUCCESS},
      {"\\\\pc01", ERROR_SUCCESS},
      {"\\\\PC02", ERROR_SUCCESS},  // named with backslashes in the LAN
      {"pc02", ERROR_SUCCESS},
      {"\\\\PC05", ERROR_SUCCESS},  // no file: an empty registry
      {"\\\\PC04", 1722},
      {"\\\\NOWHERE", Status(ERROR_BAD_NETPATH)},
      {"\\PC01", Status(ERROR_BAD_NETPATH)},
      {"\\\\", Status(ERROR_BAD_NETPATH)},
      {"\\\\\\\\PC01", Status(ERROR_BAD_NETPATH)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machine);
    OwnedKey root;
    EXPECT_EQ(RegConnectRegistryA(c.machine, HKEY_LOCAL_MACHINE, root.Out()), c.status);
    EXPECT_EQ(root.Get() != nullptr, c.status == ERROR_SUCCESS);
  }
}

TEST_F(StandinRegistryTest, AComputerServesHklmAndHkuAloneAndItsFileFillsThem) {
  for (HKEY refused : {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, static_cast<HKEY>(nullptr)}) {
    OwnedKey root;
    EXPECT_EQ(RegConnectRegistryA("\\\\PC01", refused, root.Out()), Status(ERROR_INVALID_HANDLE));
  }
  OwnedKey users;
  ASSERT_EQ(RegConnectRegistryA("\\\\PC01", HKEY_USERS, users.Out()), ERROR_SUCCESS);
  OwnedKey settings;
  EXPECT_EQ(RegOpenKeyExA(users.Get(), ".DEFAULT\\Settings", 0, KEY_READ, settings.Out()), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(users.Get(), "Ignored", 0, KEY_READ, settings.Out()), Status(ERROR_FILE_NOT_FOUND));

  OwnedKey machine;
  ASSERT_EQ(RegConnectRegistryA("\\\\PC02", HKEY_LOCAL_MACHINE, machine.Out()), ERROR_SUCCESS);
  OwnedKey wide;
  ASSERT_EQ(RegOpenKeyExA(machine.Get(), "SOFTWARE\\wide", 0, KEY_ALL_ACCESS, wide.Out()), ERROR_SUCCESS);
  char name[16] = {};
  DWORD size = sizeof name;
  ASSERT_EQ(RegQueryValueExA(wide.Get(), "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, size), std::string("Second\0", 7));
}

TEST_F(StandinRegistryTest, AFileThatIsNoExportFailsItsComputerWithAMessageAndSparesTheOthers) {
  OwnedKey root;
  const LONG corrupt = RegConnectRegistryA("\\\\PC03", HKEY_LOCAL_MACHINE, root.Out());
  const LONG missing = RegConnectRegistryA("\\\\PC06", HKEY_LOCAL_MACHINE, root.Out());
  const std::string messages = diagnostics_.str();
  EXPECT_EQ(corrupt, Status(ERROR_REGISTRY_CORRUPT));
  EXPECT_EQ(missing, Status(ERROR_REGISTRY_CORRUPT));
  EXPECT_EQ(messages, "kestrova: " + corrupt_file_.string() + ":1: " + regfile::kNotAnExportMessage + "\n" +
                          "kestrova: " + missing_file_.string() + ": cannot be read: No such file or directory\n");

  OwnedKey good;
  EXPECT_EQ(RegConnectRegistryA("\\\\PC01", HKEY_LOCAL_MACHINE, good.Out()), ERROR_SUCCESS);
}

// The registry is what the file held when its computer was connected: a
// file cut short while its computer is listed costs nothing, and the next
// computer is listed as ever.
TEST_F(StandinRegistryTest, AFileCutShortWhileItsComputerIsListedIsListedAsItWasRead) {
  constexpr int kApplications = 2000;
  std::string body;
  for (int i = 0; i < kApplications; ++i) {
    body += "[HKEY_LOCAL_MACHINE\\Software\\Apps\\App" + std::to_string(i) + "]\r\n\"DisplayName\"=\"Application " +
            std::to_string(i) + "\"\r\n\"Comments\"=\"" + std::string(600, 'c') + "\"\r\n";
  }
  const fs::path big = Write("BIG.reg", Regedit4(body));
  ASSERT_GT(fs::file_size(big), 1u << 20) << "large enough to be mapped once";
  lan::Lan lan;
  lan.Computers.push_back(Computer("BIG", big));
  lan.Computers.push_back(Computer("NEXT", Write("NEXT.reg", Regedit4("[HKEY_LOCAL_MACHINE\\Software\\Apps\\A]\r\n"
                                                                      "\"DisplayName\"=\"Next\"\r\n"))));
  standin::UseLanForTesting(std::move(lan), diagnostics_);

  const auto list = [](const char* machine) {
    std::vector<std::string> names;
    OwnedKey root;
    OwnedKey apps;
    EXPECT_EQ(RegConnectRegistryA(machine, HKEY_LOCAL_MACHINE, root.Out()), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(root.Get(), "Software\\Apps", 0, KEY_READ, apps.Out()), ERROR_SUCCESS);
    char subkey[256];
    DWORD length = sizeof subkey;
    for (DWORD index = 0;
         RegEnumKeyExA(apps.Get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = sizeof subkey) {
      OwnedKey app;
      char name[64];
      DWORD size = sizeof name;
      EXPECT_EQ(RegOpenKeyExA(apps.Get(), subkey, 0, KEY_READ, app.Out()), ERROR_SUCCESS);
      EXPECT_EQ(RegQueryValueExA(app.Get(), "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
                ERROR_SUCCESS);
      names.emplace_back(name, size);
    }
    return names;
  };
  standin::SetRegEnumKeyHookForTesting([&big](HKEY, DWORD index) {
    if (index == 1) fs::resize_file(big, 0);
  });
  EXPECT_EQ(list("\\\\BIG").size(), static_cast<std::size_t>(kApplications));
  EXPECT_EQ(list("\\\\NEXT"), std::vector<std::string>{std::string("Next\0", 5)});
}

TEST_F(StandinRegistryTest, AConnectionLivesWhileAHandleIntoItIsOpen) {
  EXPECT_EQ(standin::OpenLanConnectionCount(), 0);
  OwnedKey root;
  ASSERT_EQ(RegConnectRegistryA("\\\\PC01", HKEY_LOCAL_MACHINE, root.Out()), ERROR_SUCCESS);
  OwnedKey apps;
  ASSERT_EQ(RegOpenKeyExA(root.Get(), "Software\\Apps", 0, KEY_ALL_ACCESS, apps.Out()), ERROR_SUCCESS);
  EXPECT_EQ(standin::OpenLanConnectionCount(), 1);

  // Each connection is one of its own.
  OwnedKey second;
  ASSERT_EQ(RegConnectRegistryA("pc01", HKEY_LOCAL_MACHINE, second.Out()), ERROR_SUCCESS);
  EXPECT_EQ(standin::OpenLanConnectionCount(), 2);
  second.Reset();

  root.Reset();
  EXPECT_EQ(standin::OpenLanConnectionCount(), 1) << "the subkey's handle keeps it";
  OwnedKey one;
  EXPECT_EQ(RegOpenKeyExA(apps.Get(), "One", 0, KEY_READ, one.Out()), ERROR_SUCCESS);
  one.Reset();
  apps.Reset();
  EXPECT_EQ(standin::OpenLanConnectionCount(), 0);
}

TEST_F(StandinRegistryTest, AComputersRegistryIsReadAndNeverChanged) {
  OwnedKey root;
  ASSERT_EQ(RegConnectRegistryA("\\\\PC01", HKEY_LOCAL_MACHINE, root.Out()), ERROR_SUCCESS);
  OwnedKey apps;
  ASSERT_EQ(RegOpenKeyExA(root.Get(), "Software\\Apps", 0, KEY_ALL_ACCESS, apps.Out()), ERROR_SUCCESS);
  OwnedKey key;
  DWORD disposition = 0;
  EXPECT_EQ(RegCreateKeyExA(apps.Get(), "One", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), &disposition),
            ERROR_SUCCESS)
      << "an existing key is opened";
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(RegCreateKeyExA(apps.Get(), "Added", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr),
            Status(ERROR_ACCESS_DENIED));
  ASSERT_EQ(RegOpenKeyExA(apps.Get(), "One", 0, KEY_ALL_ACCESS, key.Out()), ERROR_SUCCESS);
  const BYTE one[] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExA(key.Get(), "v", 0, REG_DWORD, one, 4), Status(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegDeleteValueA(key.Get(), "DisplayName"), Status(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegDeleteKeyA(apps.Get(), "One"), Status(ERROR_ACCESS_DENIED));
  char name[16] = {};
  DWORD size = sizeof name;
  EXPECT_EQ(RegQueryValueExA(key.Get(), "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, size), std::string("First\0", 6));
}

TEST_F(StandinRegistryTest, ADeniedKeyRefusesEveryRightBeyondRead) {
  OwnedKey root;
  ASSERT_EQ(RegConnectRegistryA("\\\\PC01", HKEY_LOCAL_MACHINE, root.Out()), ERROR_SUCCESS);
  struct Case {
    const char* path;
    REGSAM rights;
    LONG status;
  };
  const Case cases[] = {
      {"Software\\Locked", KEY_ALL_ACCESS, Status(ERROR_ACCESS_DENIED)},
      {"software\\LOCKED", KEY_QUERY_VALUE | KEY_SET_VALUE, Status(ERROR_ACCESS_DENIED)},
      {"Software\\Locked", GENERIC_ALL, Status(ERROR_ACCESS_DENIED)},
      {"Software\\Locked", KEY_READ, ERROR_SUCCESS},
      {"Software\\Locked", MAXIMUM_ALLOWED, ERROR_SUCCESS},
      {"Software\\Locked\\Inner", KEY_ALL_ACCESS, ERROR_SUCCESS},  // the key alone, not what lies below
      {"Software", KEY_ALL_ACCESS, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " " << std::hex << c.rights);
    OwnedKey key;
    EXPECT_EQ(RegOpenKeyExA(root.Get(), c.path, 0, c.rights, key.Out()), c.status);
  }
  OwnedKey key;
  EXPECT_EQ(RegCreateKeyExA(root.Get(), "Software\\Locked", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr),
            Status(ERROR_ACCESS_DENIED));
  EXPECT_EQ(
      RegCreateKeyExA(root.Get(), "Software\\Locked\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr),
      Status(ERROR_ACCESS_DENIED));
  ASSERT_EQ(RegOpenKeyExA(root.Get(), "Software\\Locked", 0, MAXIMUM_ALLOWED, key.Out()), ERROR_SUCCESS);
  const BYTE one[] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExA(key.Get(), "v", 0, REG_DWORD, one, 4), Status(ERROR_ACCESS_DENIED));
}

TEST_F(StandinRegistryTest, AFailingValueTellsItsSizeButNotItsData) {
  OwnedKey root;
  ASSERT_EQ(RegConnectRegistryA("\\\\PC01", HKEY_LOCAL_MACHINE, root.Out()), ERROR_SUCCESS);
  OwnedKey one;
  ASSERT_EQ(RegOpenKeyExA(root.Get(), "Software\\Apps\\One", 0, KEY_ALL_ACCESS, one.Out()), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(one.Get(), "Broken", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 18u);
  char data[64];
  size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(one.Get(), "Broken", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            Status(ERROR_IO_DEVICE));
  size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(one.Get(), "DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
}

TEST_F(StandinRegistryTest, TheLocalRegistryHasFourSeparateRootsAndResets) {
  const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
  for (HKEY root : roots) {
    OwnedKey key;
    ASSERT_EQ(RegCreateKeyExA(root, "Only Here", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr),
              ERROR_SUCCESS);
    const BYTE marker = static_cast<BYTE>(reinterpret_cast<ULONG_PTR>(root));
    ASSERT_EQ(RegSetValueExA(key.Get(), "root", 0, REG_BINARY, &marker, 1), ERROR_SUCCESS);
  }
  for (HKEY root : roots) {
    OwnedKey key;
    ASSERT_EQ(RegOpenKeyExA(root, "only here", 0, KEY_READ, key.Out()), ERROR_SUCCESS);
    BYTE marker = 0;
    DWORD size = 1;
    ASSERT_EQ(RegQueryValueExA(key.Get(), "root", nullptr, nullptr, &marker, &size), ERROR_SUCCESS);
    EXPECT_EQ(marker, static_cast<BYTE>(reinterpret_cast<ULONG_PTR>(root)));
  }
  OwnedKey config;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, "", 0, KEY_READ, config.Out()), Status(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS) << "closing a predefined root changes nothing";

  standin::ResetRegistryForTesting();
  OwnedKey gone;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Only Here", 0, KEY_READ, gone.Out()), Status(ERROR_FILE_NOT_FOUND));
}

}  // namespace
