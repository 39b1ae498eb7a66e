// How long the inventory's calls take over the winreg client when every
// pipe write and read costs a delay, as a round trip of a real link does:
// without read-ahead (the baseline of the same run) and with read-ahead over
// several pipes. Prints figures and ratios; asserts nothing.
//   kestrova_read_ahead_benchmark [applications] [delay ms ...]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/smb/winreg/registry.h"
#include "tests/support/fake_winreg_server.h"
#include "tests/support/uninstall_listing.h"

namespace {

// The applications whose display name the inventory's calls read.
std::size_t ListApplications(lan::RemoteRegistry& registry) {
  std::size_t listed = 0;
  for (const testsupport::ListedSubkey& subkey : testsupport::ListUninstallKey(registry).Subkeys) {
    if (subkey.Step == testsupport::ListedSubkey::Failed::kNothing) ++listed;
  }
  return listed;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t applications = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 150;
  std::vector<int> delays;
  for (int index = 2; index < argc; ++index) delays.push_back(std::atoi(argv[index]));
  if (delays.empty()) delays = {0, 5};
  std::printf("%zu applications; every pipe write and read (header and rest apart) delayed, a pipe open 4x\n",
              applications);
  std::printf("%6s %6s %9s %8s %12s %12s %10s\n", "delay", "pipes", "seconds", "ratio", "RPCs/app", "own RPCs/app",
              "listed");
  for (int delay : delays) {
    double baseline = 0;
    for (std::size_t pipes : {0, 4, 6, 8}) {
      smbtest::FakeServerOptions options;
      options.Delay = std::chrono::milliseconds(delay);
      options.OpenDelay = std::chrono::milliseconds(4 * delay);
      options.HeaderFirst = true;
      smbtest::FakeWinregServer server(options);
      server.AddApplications(applications);
      const auto start = std::chrono::steady_clock::now();
      std::unique_ptr<winreg::Registry> registry;
      winreg::RegistryOptions registry_options;
      registry_options.ReadAheadPipes = pipes;
      if (winreg::Registry::Connect(server, u"PC1", HKEY_LOCAL_MACHINE, registry_options, std::cerr, registry) !=
          NO_ERROR) {
        return 1;
      }
      const std::size_t listed = ListApplications(*registry);
      const winreg::RegistryCallCounts counts = registry->CallCounts();
      registry.reset();
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (pipes == 0) baseline = seconds;
      std::printf("%4d ms %6zu %9.3f %8.2f %12.2f %12.2f %10zu\n", delay, pipes, seconds, seconds / baseline,
                  static_cast<double>(counts.Own + counts.ReadAhead) / applications,
                  static_cast<double>(counts.Own) / applications, listed);
    }
  }
  return 0;
}
