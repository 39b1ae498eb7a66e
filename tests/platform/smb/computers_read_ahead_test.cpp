#include "platform/smb/computers_read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <sstream>

#include "platform/lan/utf16_text.h"
#include "platform/smb/reporting_registry.h"
#include "platform/smb/winreg/registry.h"
#include "tests/support/fake_winreg_server.h"
#include "tests/support/uninstall_listing.h"

namespace smb {
namespace {

enum class Fault { kNone, kDead, kWinregOff, kRefusedKey, kLostMidway, kTalkative };

// A registry that says something of its own on the diagnostics stream
// while it is read, as one whose facts are cut does, and as libsmbclient
// does on the thread that calls it.
class TalkativeRegistry : public lan::RemoteRegistry {
 public:
  TalkativeRegistry(std::unique_ptr<lan::RemoteRegistry> registry, std::ostream& diagnostics)
      : registry_(std::move(registry)), diagnostics_(diagnostics) {}
  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override {
    return registry_->OpenKey(parent, path, access, key);
  }
  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override {
    if (index == 3) diagnostics_ << "kestrova: name 3 asked\n";
    return registry_->EnumKey(key, index, name, last_written);
  }
  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override {
    return registry_->QueryValue(key, name, fetch_data, type, size, data);
  }
  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override {
    diagnostics_ << "kestrova: facts asked\n";
    return registry_->QueryKeyFacts(key, facts);
  }
  DWORD CloseKey(KeyId key) override { return registry_->CloseKey(key); }

 private:
  std::unique_ptr<lan::RemoteRegistry> registry_;
  std::ostream& diagnostics_;
};

// A LAN of in-memory winreg servers, made anew for each run.
struct Lan {
  explicit Lan(const std::vector<std::pair<std::u16string, Fault>>& computers) {
    for (const auto& [name, fault] : computers) {
      order.push_back(name);
      faults[name] = fault;
      smbtest::FakeServerOptions options;
      if (fault == Fault::kLostMidway) options.CallsBeforeDeath = 9;
      auto server = std::make_unique<smbtest::FakeWinregServer>(options);
      server->AddApplications(12);
      if (fault == Fault::kRefusedKey) server->Keys[testsupport::kUninstallPath].Denied = true;
      servers[name] = std::move(server);
    }
  }

  // Connects as the SMB network does, without the registry's own
  // read-ahead, whose threads would make a dying server's last answer a
  // matter of timing.
  DWORD Connect(std::u16string_view machine, std::ostream& diagnostics,
                std::unique_ptr<lan::RemoteRegistry>& registry) {
    ++connects;
    const Fault fault = faults.at(std::u16string(machine));
    if (fault == Fault::kDead) return ERROR_BAD_NETPATH;
    if (fault == Fault::kWinregOff) return ERROR_FILE_NOT_FOUND;
    std::unique_ptr<winreg::Registry> connected;
    winreg::RegistryOptions options;
    options.ReadAheadPipes = 0;
    const DWORD status = winreg::Registry::Connect(*servers.at(std::u16string(machine)), machine, HKEY_LOCAL_MACHINE,
                                                   options, diagnostics, connected);
    if (fault == Fault::kTalkative) diagnostics << "kestrova: connecting\n";
    if (status == NO_ERROR && fault == Fault::kTalkative) {
      registry = std::make_unique<TalkativeRegistry>(std::move(connected), diagnostics);
    } else if (status == NO_ERROR) {
      registry = std::move(connected);
    }
    return status;
  }

  ComputersReadAhead::Connect Connector() {
    return [this](std::u16string_view machine, std::ostream& diagnostics,
                  std::unique_ptr<lan::RemoteRegistry>& registry) { return Connect(machine, diagnostics, registry); };
  }

  std::vector<std::u16string> order;
  std::map<std::u16string, Fault> faults;
  std::map<std::u16string, std::unique_ptr<smbtest::FakeWinregServer>> servers;
  std::atomic<int> connects{0};
};

// The inventory of every computer in turn, its listing and the messages in
// one text, as the program's standard error and output would interleave
// them: through `ahead` where given, else each computer connected in turn.
std::string Inventory(Lan& lan, ComputersReadAhead* ahead, std::ostream& diagnostics,
                      const std::ostringstream& messages) {
  std::string text;
  std::size_t shown = 0;
  const auto take_messages = [&] {
    const std::string all = messages.str();
    text += all.substr(shown);
    shown = all.size();
  };
  for (const std::u16string& name : lan.order) {
    text += "COMPUTER " + lan::Utf8FromUtf16(name) + "\n";
    std::unique_ptr<lan::RemoteRegistry> connected;
    DWORD status = NO_ERROR;
    if (ahead == nullptr || !ahead->Take(name, status, connected)) status = lan.Connect(name, diagnostics, connected);
    take_messages();
    text += "connect " + std::to_string(status) + "\n";
    if (status != NO_ERROR) continue;
    ReportingRegistry registry(std::move(connected), name, HKEY_LOCAL_MACHINE, diagnostics);
    const testsupport::UninstallListing listing = testsupport::ListUninstallKey(registry);
    take_messages();
    text += "uninstall " + std::to_string(listing.Status) + "\n";
    for (const testsupport::ListedSubkey& subkey : listing.Subkeys) {
      text += lan::Utf8FromUtf16(subkey.Name) + " " + std::to_string(static_cast<int>(subkey.Step)) + " " +
              std::to_string(subkey.Status) + " " + std::to_string(subkey.Type) + " " +
              lan::Utf8FromUtf16(subkey.DisplayName()) + "\n";
    }
    // A call that the inventory does not make goes to the connection.
    lan::RemoteRegistry::KeyId key = 0;
    const DWORD open = registry.OpenKey(lan::RemoteRegistry::kRootKey, testsupport::kUninstallPath, KEY_READ, key);
    DWORD type = 0;
    DWORD size = 0;
    std::string data;
    std::u16string first;
    FILETIME written{};
    text += "unforeseen " + std::to_string(open) + " " +
            std::to_string(open == NO_ERROR ? registry.EnumKey(key, 0, first, written) : 0) + " " +
            lan::Utf8FromUtf16(first) + "\n";
    if (open == NO_ERROR) {
      text += "publisher " + std::to_string(registry.QueryValue(key, u"Publisher", true, type, size, data)) + "\n";
      registry.CloseKey(key);
    }
    take_messages();
  }
  return text;
}

const std::vector<std::pair<std::u16string, Fault>> kFaultyLan = {
    {u"ATLAS", Fault::kNone},        {u"BOREAS", Fault::kDead},      {u"CASSINI", Fault::kWinregOff},
    {u"DORADO", Fault::kRefusedKey}, {u"ELARA", Fault::kLostMidway}, {u"FORNAX", Fault::kTalkative},
    {u"GANYMEDE", Fault::kNone},     {u"HELIKE", Fault::kDead},      {u"IAPETUS", Fault::kNone},
};

TEST(ComputersReadAhead, AnswersAndMessagesEqualThoseOfOneComputerAtATime) {
  std::string expected;
  {
    Lan lan(kFaultyLan);
    std::ostringstream messages;
    expected = Inventory(lan, nullptr, messages, messages);
  }
  // The faults say what they are, each at its computer's turn.
  for (const char* message :
       {"\\\\DORADO: cannot open HKEY_LOCAL_MACHINE\\Software", "\\\\ELARA: the connection",
        "COMPUTER FORNAX\nkestrova: connecting\nconnect 0\nkestrova: facts asked\nkestrova: name 3"}) {
    EXPECT_NE(expected.find(message), std::string::npos) << message << "\n" << expected;
  }
  struct Case {
    std::size_t computers;
    std::size_t held_bytes;
  };
  for (const Case& c : {Case{2, ComputersReadAhead::kMostHeldBytes}, Case{4, ComputersReadAhead::kMostHeldBytes},
                        Case{16, ComputersReadAhead::kMostHeldBytes}, Case{8, 1}}) {
    Lan lan(kFaultyLan);
    std::ostringstream messages;
    ComputersReadAhead ahead(lan.order, c.computers, lan.Connector(), nullptr, messages, c.held_bytes);
    EXPECT_EQ(Inventory(lan, &ahead, messages, messages), expected) << c.computers << " at once";
    EXPECT_EQ(lan.connects, static_cast<int>(lan.order.size()));
    if (c.held_bytes == 1) {
      // At the cap, each computer ahead holds the one answer it started.
      EXPECT_LE(ahead.PeakHeldBytes(), (c.computers - 1) * 2048) << ahead.PeakHeldBytes();
    }
  }
}

TEST(ComputersReadAhead, StoppingOpensNothingNewAndEndsWhatIsUnderWay) {
  std::vector<std::pair<std::u16string, Fault>> computers;
  for (char16_t letter = u'A'; letter <= u'J'; ++letter) computers.push_back({std::u16string(3, letter), Fault::kNone});
  Lan lan(computers);
  std::ostringstream messages;
  std::atomic<int> cancels{0};
  {
    ComputersReadAhead ahead(
        lan.order, 3, lan.Connector(), [&] { ++cancels; }, messages);
    std::unique_ptr<lan::RemoteRegistry> registry;
    DWORD status = 0;
    ASSERT_TRUE(ahead.Take(u"bbb", status, registry));  // the first computer passed over
    EXPECT_EQ(status, NO_ERROR);
    ahead.Stop();
    EXPECT_FALSE(ahead.Take(u"CCC", status, registry));
  }
  EXPECT_EQ(cancels, 1);
  // BBB and at most the two after it, never one more.
  EXPECT_GE(lan.connects, 1);
  EXPECT_LE(lan.connects, 3);
  EXPECT_EQ(lan.servers.at(u"AAA")->PipesOpened(), 0U);
  EXPECT_EQ(lan.servers.at(u"EEE")->PipesOpened(), 0U);
}

}  // namespace
}  // namespace smb
