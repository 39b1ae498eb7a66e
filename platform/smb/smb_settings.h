// How Kestrova talks SMB: the time limit of one connection or request and
// the credentials it logs on with, read from the environment.
//
//   KESTROVA_SMB_TIMEOUT  seconds (a decimal number, > 0) that one
//                         request may take; default 5.
//   KESTROVA_CREDENTIALS  a file in smbclient's authentication-file format
//                         (username =, password =, domain =), readable by
//                         its owner alone. Without it, a Kerberos ticket
//                         cache is used where one exists.
//
// Everything else (name resolution, signing, the client's protocols) comes
// from the system's smb.conf, which libsmbclient reads.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace smb {

inline constexpr const char* kTimeoutVariable = "KESTROVA_SMB_TIMEOUT";
inline constexpr const char* kCredentialsVariable = "KESTROVA_CREDENTIALS";
inline constexpr int kDefaultTimeoutMilliseconds = 5000;

struct Credentials {
  std::string Username;
  std::string Password;
  std::string Domain;
};

struct SmbSettings {
  int TimeoutMilliseconds = kDefaultTimeoutMilliseconds;
  // Absent: log on with a Kerberos ticket where one exists, else as guest.
  std::optional<Credentials> Logon;
};

// Parses an authentication file's text. Lines are `key = value`; blank
// lines and lines starting with # or ; are skipped. A line of another
// shape or with an unknown key is reported to `messages` with `where` and
// its line number, and left out. A user name of the form DOMAIN\user (or
// DOMAIN/user) gives the domain unless a domain line names one.
Credentials ParseCredentials(std::string_view text, const std::string& where, std::ostream& messages);

// Reads the authentication file at `path`. A file that its group or others
// may read, one that is not a regular file, or one that cannot be read is
// refused with a message, as ssh refuses a private key: nullopt.
std::optional<Credentials> ReadCredentialsFile(const std::filesystem::path& path, std::ostream& messages);

// Seconds as KESTROVA_SMB_TIMEOUT gives them, in milliseconds; nullopt
// for text that is not a number above 0 and at most a day.
std::optional<int> ParseTimeout(std::string_view seconds);

// The settings that the environment gives; mistakes are reported to
// `messages` and their defaults used.
SmbSettings SettingsFromEnvironment(std::ostream& messages);

}  // namespace smb
