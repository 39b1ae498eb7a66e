// Runs the Active Directory discovery source alone, for the Samba suite:
//
//   kestrova_ldap_probe     one line per computer found,
//                           "CONTAINER NAME ADDRESS", then "found N";
//                           "absent" where no domain is known
//
// Settings come from the environment as for the program; the source's
// messages go to standard error.
#include <iostream>

#include "platform/discovery/ldap/active_directory_source.h"
#include "platform/smb/smb_settings.h"

int main() {
  const smb::SmbSettings settings = smb::SettingsFromEnvironment(std::cerr);
  const std::unique_ptr<discovery::DiscoverySource> source =
      discovery::ldap::OpenActiveDirectorySource(settings, std::cerr);
  if (source == nullptr) {
    std::cout << "absent\n";
    return 0;
  }
  const std::vector<discovery::FoundComputer> found = source->Find(std::cerr);
  for (const discovery::FoundComputer& computer : found) {
    std::cout << computer.Container << " " << computer.Name << " " << computer.Address << "\n";
  }
  std::cout << "found " << found.size() << "\n";
  return 0;
}
