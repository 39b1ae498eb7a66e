// The layer above the SMB network's decoders: the registry accessor lists
// a computer's uninstall key as the inventory does, through the stand-in's
// registry functions and the SMB network's registry, against a winreg
// server whose tree, key facts and manners come from the input (names of
// any length, counts and lengths of any size, data beyond the room asked
// for, small fragments and reads, a double-byte code page or not).
//
// Between the registry functions and the SMB registry a check holds what
// reaches them to what a real registry can hold (platform/smb/winreg/registry.h): names of
// at most 255 characters, facts within the bounds, value data within the
// LAN rule, and no more calls to the server than the keys and values that
// exist can explain. A buffer that the accessor sizes beyond the bounds is
// caught by libFuzzer's memory limit.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

#include "platform/lan/utf16_text.h"
#include "platform/smb/winreg/registry.h"
#include "platform/standin/lan/lan_control.h"
#include "platform/standin/locale/locale_control.h"
#include "platform/standin/registry/registry_control.h"
#include "registry/registry.h"
#include "registry/startup_facts.h"
#include "tests/support/fake_winreg_server.h"
#include "tests/support/uninstall_listing.h"

namespace {

using smbtest::FakeWinregServer;

constexpr std::size_t kMostSubkeys = 12;
constexpr std::size_t kReadAheadWindow = 8;

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "violated: %s\n", what);
  std::abort();
}

// Hands the registry functions what the SMB registry answers, checking it.
class CheckedRegistry : public lan::RemoteRegistry {
 public:
  explicit CheckedRegistry(std::unique_ptr<lan::RemoteRegistry> registry) : registry_(std::move(registry)) {}

  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override {
    return registry_->OpenKey(parent, path, access, key);
  }
  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override {
    const DWORD status = registry_->EnumKey(key, index, name, last_written);
    if (status == NO_ERROR) Require(name.size() <= 255, "a subkey name of at most 255 characters");
    if (index >= winreg::kMostSubkeys) Require(status == ERROR_NO_MORE_ITEMS, "no subkey beyond the listing's bound");
    return status;
  }
  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override {
    const DWORD status = registry_->QueryValue(key, name, fetch_data, type, size, data);
    if (status == NO_ERROR && fetch_data) {
      Require(data.size() == size && size <= lan::kMaxValueData, "value data within the LAN rule");
    }
    return status;
  }
  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override {
    const DWORD status = registry_->QueryKeyFacts(key, facts);
    if (status == NO_ERROR) {
      Require(facts.SubkeyCount <= winreg::kMostSubkeys, "a subkey count within the listing's bound");
      Require(facts.LongestSubkeyName <= 255, "a longest subkey name of at most 255 characters");
      Require(facts.LongestValueName <= winreg::kLongestValueName, "a longest value name within the registry's");
    }
    return status;
  }
  DWORD CloseKey(KeyId key) override { return registry_->CloseKey(key); }

 private:
  std::unique_ptr<lan::RemoteRegistry> registry_;
};

// One computer, PC, whose registry the fuzzed server serves.
class FuzzedLan : public lan::LanSource {
 public:
  FuzzedLan(FakeWinregServer& server, std::size_t read_ahead) : server_(server), read_ahead_(read_ahead) {}

  DWORD OpenLevel(const lan::BrowseRecord*, DWORD, DWORD, std::unique_ptr<lan::BrowseLevel>&) override {
    return ERROR_BAD_NETPATH;
  }
  DWORD ConnectRegistry(std::u16string_view machine, HKEY root,
                        std::unique_ptr<lan::RemoteRegistry>& registry) override {
    winreg::RegistryOptions options;
    options.ReadAheadPipes = read_ahead_;
    options.ReadAheadWindow = kReadAheadWindow;
    std::unique_ptr<winreg::Registry> connected;
    const DWORD status = winreg::Registry::Connect(server_, machine, root, options, diagnostics_, connected);
    if (status == NO_ERROR) registry = std::make_unique<CheckedRegistry>(std::move(connected));
    return status;
  }

 private:
  FakeWinregServer& server_;
  std::size_t read_ahead_;
  std::ostream diagnostics_{nullptr};
};

std::u16string Name(FuzzedDataProvider& input) {
  // Mostly short names; sometimes around and far beyond the registry's
  // limit. Units from a small alphabet, non-ASCII and surrogates among
  // them, so that the ANSI conversions are taken too.
  static constexpr char16_t kUnits[] = {u'a',  u'Z',    u'0', u'{',   u'-',   u' ',
                                        u'\\', u'\x7F', 0xE9, 0x3042, 0xD800, 0xDC00};
  std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 12);
  if (input.ConsumeBool()) length = input.PickValueInArray({254u, 255u, 256u, 300u, 1000u});
  std::u16string name;
  for (std::size_t index = 0; index < length; ++index) name.push_back(input.PickValueInArray(kUnits));
  return name;
}

std::string Data(FuzzedDataProvider& input) {
  std::size_t size = input.ConsumeIntegralInRange<std::size_t>(0, 64);
  if (input.ConsumeProbability<float>() < 0.05f) {
    size = input.PickValueInArray<std::size_t>({8191, 8192, 8193, lan::kMaxValueData, lan::kMaxValueData + 1});
  }
  std::string data = input.ConsumeBytesAsString(size);
  data.resize(size, 'x');
  return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider input(bytes, size);
  smbtest::FakeServerOptions options;
  options.IgnoresRoom = input.ConsumeBool();
  options.FragmentStub = input.ConsumeIntegralInRange<std::size_t>(1, 5816);
  options.ReadChunk = input.ConsumeIntegralInRange<std::size_t>(0, 64);
  options.HeaderFirst = input.ConsumeBool();
  FakeWinregServer server(options);
  server.AddApplications(0);
  const std::u16string uninstall = testsupport::kUninstallPath;
  const std::size_t subkeys = input.ConsumeIntegralInRange<std::size_t>(0, kMostSubkeys);
  for (std::size_t index = 0; index < subkeys; ++index) {
    const std::u16string name = Name(input);
    server.Keys[uninstall].Subkeys.push_back(name);
    smbtest::FakeKey& key = server.Keys[uninstall + u"\\" + name];
    key.Denied = input.ConsumeProbability<float>() < 0.1f;
    if (input.ConsumeBool())
      key.Values[u"DisplayName"] = {input.PickValueInArray({REG_SZ, REG_EXPAND_SZ, REG_BINARY}), Data(input)};
  }
  if (input.ConsumeBool()) {
    winreg::QueryInfoKeyReply claimed;
    claimed.cSubKeys = input.ConsumeIntegral<DWORD>();
    claimed.cbMaxSubKeyLen = input.ConsumeIntegral<DWORD>();
    claimed.cValues = input.ConsumeIntegral<DWORD>();
    claimed.cbMaxValueNameLen = input.ConsumeIntegral<DWORD>();
    claimed.cbMaxValueLen = input.ConsumeIntegral<DWORD>();
    server.Keys[uninstall].ClaimedFacts = claimed;
  }
  const std::size_t read_ahead = input.ConsumeBool() ? 2 : 0;
  standin::LocaleFacts locale;
  locale.PlatformId = VER_PLATFORM_WIN32_NT;
  locale.ThreadLocale = input.ConsumeBool() ? 0x0411 : 0x0409;  // Japanese (code page 932) or English
  standin::SetLocaleFactsForTesting(locale);
  EstablishStartupFacts();
  standin::ResetRegistryForTesting();
  standin::UseLanForTesting(std::make_unique<FuzzedLan>(server, read_ahead));

  {
    TRegistry registry;
    registry.SelectRoot(HKEY_LOCAL_MACHINE);
    if (registry.ConnectMachine("\\\\PC") && registry.EnterKey(lan::Utf8FromUtf16(uninstall), false)) {
      TStringList names;
      registry.ListSubkeys(names);
      registry.LeaveKey();
      Require(names.Count() <= static_cast<std::int32_t>(subkeys), "no more names listed than the key holds");
      for (std::int32_t index = 0; index < names.Count(); ++index) {
        registry.EnterKey(JoinTexts(lan::Utf8FromUtf16(uninstall + u"\\"), names.Get(index)), false);
        try {
          if (registry.HasValue("DisplayName")) registry.ReadText("DisplayName");
        } catch (const Exception&) {
          // A value that cannot be fetched or is no text: the listing skips it.
        }
        registry.LeaveKey();
      }
    }
  }
  // Per subkey at most: its name, an open, up to four queries of its value
  // (the first, then up to three for its data) and a close on the
  // registry's own pipe, and its name, an open, a query and a close read
  // ahead; then the root, the key itself and its end on each pipe, and
  // names read ahead a window past the end.
  Require(server.CallsAnswered() <= 12 * (subkeys + 1) + 2 * kReadAheadWindow,
          "no more calls than the keys and values explain");
  standin::UseEmptyLanForTesting();
  return 0;
}
