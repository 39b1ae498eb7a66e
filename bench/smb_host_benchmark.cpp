// The inventory's registry calls for one computer over the SMB network,
// timed: the Uninstall key's subkeys enumerated, then in each the
// DisplayName asked for its size and read, as the program does. Prints
// the time, the applications found and the SMB round trips per
// application.
//
//   kestrova_smb_host_benchmark HOST [RUNS]
//
// HOST is a name or an address; settings come from the environment as for
// the program (KESTROVA_CREDENTIALS, KESTROVA_SMB_TIMEOUT).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/smb/smb_lan_source.h"
#include "platform/smb/smb_text.h"

namespace {

constexpr char16_t kUninstall[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// One inventory of `host`: the number of display names read, or -1.
int Inventory(smb::SmbLanSource& source, const std::u16string& host) {
  std::unique_ptr<lan::RemoteRegistry> registry;
  if (source.ConnectRegistry(host, HKEY_LOCAL_MACHINE, registry) != NO_ERROR) return -1;
  lan::RemoteRegistry::KeyId uninstall = 0;
  if (registry->OpenKey(lan::RemoteRegistry::kRootKey, kUninstall, KEY_ALL_ACCESS, uninstall) != NO_ERROR) return -1;
  lan::KeyFacts facts;
  if (registry->QueryKeyFacts(uninstall, facts) != NO_ERROR) return -1;
  std::vector<std::u16string> names;
  for (DWORD index = 0;; ++index) {
    std::u16string name;
    FILETIME written{};
    if (registry->EnumKey(uninstall, index, name, written) != NO_ERROR) break;
    names.push_back(std::move(name));
  }
  registry->CloseKey(uninstall);
  int found = 0;
  for (const std::u16string& name : names) {
    lan::RemoteRegistry::KeyId key = 0;
    if (registry->OpenKey(lan::RemoteRegistry::kRootKey, std::u16string(kUninstall) + u"\\" + name, KEY_ALL_ACCESS,
                          key) != NO_ERROR) {
      continue;
    }
    DWORD type = 0;
    DWORD size = 0;
    std::string data;
    if (registry->QueryValue(key, u"DisplayName", false, type, size, data) == NO_ERROR &&
        registry->QueryValue(key, u"DisplayName", true, type, size, data) == NO_ERROR) {
      ++found;
    }
    registry->CloseKey(key);
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: kestrova_smb_host_benchmark HOST [RUNS]\n";
    return 2;
  }
  const std::u16string host = smb::Utf16FromUtf8(argv[1]);
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  smb::SmbLanSource source(smb::SettingsFromEnvironment(std::cerr));
  // The first connection to an idle server starts its RPC helpers: not timed.
  if (Inventory(source, host) < 0) {
    std::cerr << "kestrova_smb_host_benchmark: " << argv[1] << " cannot be inventoried\n";
    return 1;
  }
  double best = 1e300;
  int found = 0;
  smb::PipeTraffic before = smb::PipeTrafficSoFar();
  smb::PipeTraffic traffic{};
  for (int run = 0; run < runs; ++run) {
    before = smb::PipeTrafficSoFar();
    const auto start = std::chrono::steady_clock::now();
    found = Inventory(source, host);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const smb::PipeTraffic after = smb::PipeTrafficSoFar();
    traffic = {after.Opens - before.Opens, after.Writes - before.Writes, after.Reads - before.Reads};
    best = std::min(best, seconds);
  }
  const double per_app = found > 0 ? static_cast<double>(traffic.Writes + traffic.Reads) / found : 0;
  std::printf(
      "%s: %d applications in %.3f s (best of %d); SMB round trips: %llu pipe opens, %llu writes, "
      "%llu reads, %.2f writes+reads per application\n",
      argv[1], found, best, runs, static_cast<unsigned long long>(traffic.Opens),
      static_cast<unsigned long long>(traffic.Writes), static_cast<unsigned long long>(traffic.Reads), per_app);
  return 0;
}
