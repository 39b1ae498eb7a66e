#include "platform/smb/smb_settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace smb {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Anything larger is not an authentication file.
constexpr std::uintmax_t kMaxCredentialsFileBytes = 64 * 1024;

}  // namespace

Credentials ParseCredentials(std::string_view text, const std::string& where, std::ostream& messages) {
  Credentials credentials;
  bool domain_given = false;
  int line_number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++line_number;
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      messages << "kestrova: " << where << ":" << line_number << ": not a line of the form key = value\n";
      continue;
    }
    const std::string_view key = Trimmed(line.substr(0, equals));
    // A password may begin or end with blanks only as smbclient allows it:
    // smbclient also trims them, so the same file means the same here.
    const std::string value{Trimmed(line.substr(equals + 1))};
    if (key == "username") {
      credentials.Username = value;
    } else if (key == "password") {
      credentials.Password = value;
    } else if (key == "domain") {
      credentials.Domain = value;
      domain_given = true;
    } else {
      messages << "kestrova: " << where << ":" << line_number << ": unknown key \"" << key
               << "\" (expected username, password or domain)\n";
    }
  }
  const auto separator = credentials.Username.find_first_of("\\/");
  if (separator != std::string::npos) {
    if (!domain_given) credentials.Domain = credentials.Username.substr(0, separator);
    credentials.Username.erase(0, separator + 1);
  }
  return credentials;
}

std::optional<Credentials> ReadCredentialsFile(const std::filesystem::path& path, std::ostream& messages) {
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) {
    messages << "kestrova: " << path.string() << ": the credentials file cannot be read: " << std::strerror(errno)
             << "\n";
    return std::nullopt;
  }
  if (!S_ISREG(facts.st_mode)) {
    messages << "kestrova: " << path.string() << ": the credentials file is not a regular file\n";
    return std::nullopt;
  }
  if ((facts.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(facts.st_mode & 07777));
    messages << "kestrova: " << path.string() << ": the credentials file is accessible by others (mode " << mode
             << "); it is ignored. Make it private: chmod 600 " << path.string() << "\n";
    return std::nullopt;
  }
  if (static_cast<std::uintmax_t>(facts.st_size) > kMaxCredentialsFileBytes) {
    messages << "kestrova: " << path.string() << ": the credentials file is too large to be one\n";
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file) {
    messages << "kestrova: " << path.string() << ": the credentials file cannot be read\n";
    return std::nullopt;
  }
  return ParseCredentials(text.str(), path.string(), messages);
}

std::optional<int> ParseTimeout(std::string_view seconds) {
  seconds = Trimmed(seconds);
  double value = 0;
  const auto [end, error] = std::from_chars(seconds.data(), seconds.data() + seconds.size(), value);
  if (error != std::errc{} || end != seconds.data() + seconds.size()) return std::nullopt;
  if (!(value > 0) || value > 86400) return std::nullopt;
  const int milliseconds = static_cast<int>(std::lround(value * 1000));
  return milliseconds < 1 ? 1 : milliseconds;
}

SmbSettings SettingsFromEnvironment(std::ostream& messages) {
  SmbSettings settings;
  if (const char* timeout = std::getenv(kTimeoutVariable); timeout != nullptr && timeout[0] != '\0') {
    if (const std::optional<int> parsed = ParseTimeout(timeout)) {
      settings.TimeoutMilliseconds = *parsed;
    } else {
      messages << "kestrova: " << kTimeoutVariable << "=\"" << timeout
               << "\" is not a number of seconds above 0; the default of " << kDefaultTimeoutMilliseconds / 1000
               << " s applies\n";
    }
  }
  if (const char* file = std::getenv(kCredentialsVariable); file != nullptr && file[0] != '\0') {
    settings.Logon = ReadCredentialsFile(file, messages);
  }
  return settings;
}

}  // namespace smb
