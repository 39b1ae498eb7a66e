// The inventory's registry calls for one computer over the SMB network
// (tests/support/uninstall_listing.h), timed. Prints the time, the
// applications found and the SMB round trips per application.
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

#include "platform/lan/utf16_text.h"
#include "platform/smb/smb_lan_source.h"
#include "platform/smb/smb_pipe_opener_test_helper.h"
#include "tests/support/uninstall_listing.h"

namespace {

// One inventory of `host`: the number of display names read, or -1.
int Inventory(smb::SmbLanSource& source, const std::u16string& host) {
  std::unique_ptr<lan::RemoteRegistry> registry;
  if (source.ConnectRegistry(host, HKEY_LOCAL_MACHINE, registry) != NO_ERROR) return -1;
  const testsupport::UninstallListing listing = testsupport::ListUninstallKey(*registry);
  if (listing.Status != NO_ERROR) return -1;
  int found = 0;
  for (const testsupport::ListedSubkey& subkey : listing.Subkeys) {
    if (subkey.Step == testsupport::ListedSubkey::Failed::kNothing) ++found;
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: kestrova_smb_host_benchmark HOST [RUNS]\n";
    return 2;
  }
  const std::u16string host = lan::Utf16FromUtf8(argv[1], lan::Undecodable::kReplaced);
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  smb::SmbLanSource source(smb::SettingsFromEnvironment(std::cerr), std::cerr);
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
