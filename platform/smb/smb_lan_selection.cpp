#include "platform/smb/smb_lan_selection.h"

#include "platform/smb/smb_lan_source.h"

namespace smb {

bool NamesSmbNetwork(std::string_view lan) {
  constexpr std::string_view kScheme = "smb://";
  if (lan.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    const char c = lan[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i]) return false;
  }
  // Narrowing to one workgroup or server is not offered: smb:// alone.
  return lan.size() == kScheme.size();
}

std::unique_ptr<lan::LanSource> SmbNetworkFromEnvironment(std::ostream& messages) {
  return std::make_unique<SmbLanSource>(SettingsFromEnvironment(messages), messages);
}

}  // namespace smb
