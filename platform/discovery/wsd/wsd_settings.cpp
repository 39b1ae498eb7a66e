#include "platform/discovery/wsd/wsd_settings.h"

#include <cstdlib>

#include "platform/lan/visible_text.h"
#include "platform/smb/smb_settings.h"

namespace discovery::wsd {
namespace {

// The longest interface name that Linux takes (IFNAMSIZ less its NUL).
constexpr std::size_t kMaxInterfaceNameBytes = 15;

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<int> ParseWindow(std::string_view seconds) {
  const std::optional<int> milliseconds = smb::ParseTimeout(seconds);
  if (!milliseconds || *milliseconds > kMaxWindowMilliseconds) return std::nullopt;
  return milliseconds;
}

std::optional<std::vector<std::string>> ParseInterfaces(std::string_view names) {
  std::vector<std::string> interfaces;
  while (true) {
    const std::size_t comma = names.find(',');
    const std::string_view name = TrimmedBlanks(names.substr(0, comma));
    if (name.empty() || name.size() > kMaxInterfaceNameBytes || interfaces.size() == kMaxInterfaceNames) {
      return std::nullopt;
    }
    for (const char c : name) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte <= 0x20 || byte == 0x7F || c == '/') return std::nullopt;
    }
    interfaces.emplace_back(name);
    if (comma == std::string_view::npos) break;
    names.remove_prefix(comma + 1);
  }
  return interfaces;
}

std::string SecondsText(std::chrono::milliseconds duration) {
  const long long ms = duration.count();
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    text += "." + fraction;
  }
  return text + " s";
}

WsdSettings WsdSettingsFromEnvironment(std::ostream& diagnostics) {
  WsdSettings settings;
  if (const char* window = std::getenv(kWindowVariable); window != nullptr && window[0] != '\0') {
    if (const std::optional<int> parsed = ParseWindow(window)) {
      settings.WindowMilliseconds = *parsed;
    } else {
      diagnostics << "kestrova: " << kWindowVariable << "=\"" << lan::VisibleText(window)
                  << "\" is not a number of seconds above 0 and at most " << kMaxWindowMilliseconds / 1000
                  << "; the default of " << kDefaultWindowMilliseconds / 1000 << " s applies\n";
    }
  }
  if (const char* names = std::getenv(kInterfacesVariable); names != nullptr && names[0] != '\0') {
    if (std::optional<std::vector<std::string>> parsed = ParseInterfaces(names)) {
      settings.Interfaces = std::move(*parsed);
    } else {
      diagnostics << "kestrova: " << kInterfacesVariable << "=\"" << lan::VisibleText(names)
                  << "\" is not a list of interface names separated by commas; every interface that is up is "
                     "probed\n";
    }
  }
  return settings;
}

}  // namespace discovery::wsd
