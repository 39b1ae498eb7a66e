// How Kestrova talks SMB: the time limit of one connection or request, the
// credentials it logs on with and how much libsmbclient may say, read from
// the environment.
//
//   KESTROVA_SMB_TIMEOUT  seconds (a decimal number, > 0) that one
//                         request may take; default 5.
//   KESTROVA_CREDENTIALS  a file in smbclient's authentication-file format
//                         (username =, password =, domain =), owned by the
//                         user who runs the program (or root) and readable
//                         by its owner alone. Without it, a Kerberos ticket
//                         cache is used where one exists. A file that is
//                         refused stops every connection.
//   KESTROVA_SMB_DEBUG    libsmbclient's debug level (0 to 10), whose
//                         messages then go to standard error; without it
//                         libsmbclient says nothing.
//   KESTROVA_SMB_PARALLEL the number of computers whose registries are
//                         read at once (1 to kMostParallelComputers): the
//                         one that the program lists and those after it,
//                         read ahead; 1 reads one computer at a time.
//                         Default kDefaultParallelComputers.
//
// Everything else (name resolution, signing, the client's protocols) comes
// from the system's smb.conf, which libsmbclient reads.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace smb {

inline constexpr const char* kTimeoutVariable = "KESTROVA_SMB_TIMEOUT";
inline constexpr const char* kCredentialsVariable = "KESTROVA_CREDENTIALS";
inline constexpr const char* kDebugVariable = "KESTROVA_SMB_DEBUG";
inline constexpr const char* kParallelVariable = "KESTROVA_SMB_PARALLEL";
inline constexpr int kDefaultTimeoutMilliseconds = 5000;
// Computers read at once by default, and at most. Each holds up to nine
// pipes (the registry's own and its read-ahead's, winreg/registry.h).
inline constexpr int kDefaultParallelComputers = 8;
inline constexpr int kMostParallelComputers = 32;

// Anything larger is not an authentication file.
inline constexpr std::size_t kMaxCredentialsFileBytes = 64 * 1024;
// libsmbclient hands its authentication callback buffers of 256 bytes
// (Samba's fstring) for the user name, the password and the domain: a
// longer value cannot be handed over whole.
inline constexpr std::size_t kMaxCredentialBytes = 255;

// The credentials of the logon, kept in one place: they are never copied,
// and their bytes are wiped when they are destroyed.
struct Credentials {
  Credentials() = default;
  ~Credentials();
  Credentials(const Credentials&) = delete;
  Credentials& operator=(const Credentials&) = delete;

  std::string Username;
  std::string Password;
  std::string Domain;
};

struct SmbSettings {
  int TimeoutMilliseconds = kDefaultTimeoutMilliseconds;
  // Null: log on with a Kerberos ticket where one exists, else as guest.
  // Shared, so that every copy of the settings points at the one copy of
  // the secret that libsmbclient's authentication callback reads from.
  std::shared_ptr<const Credentials> Logon;
  // The credentials file was refused: nothing may be connected, not even
  // anonymously.
  bool CredentialsRefused = false;
  // libsmbclient's debug level; absent, libsmbclient is kept silent.
  std::optional<int> LibraryDebugLevel;
  // Computers whose registries are read at once.
  int ParallelComputers = kDefaultParallelComputers;
};

// Overwrites every byte that `text` holds (its whole capacity) with zeros
// before emptying it, so that a secret does not stay behind in memory that
// is freed or reused.
void WipeSecret(std::string& text);

// Parses an authentication file's text into `credentials`, as smbclient
// reads it: `key = value` lines with the keys username, password and domain
// in any case, the value from its first non-blank character to the end of
// the line. Blank lines and lines starting with # or ; are skipped. A user
// name of the form DOMAIN\user (or DOMAIN/user) gives the domain unless a
// domain line names one. Any other line, a control character, a value
// longer than kMaxCredentialBytes, or a file without a user name or a
// password makes the whole text refused: false, with `refusal` saying why
// by line number, never by the line's text.
bool ParseCredentials(std::string_view text, Credentials& credentials, std::string& refusal);

// Reads the authentication file at `path`: opened once, then checked on the
// open descriptor (a regular file, owned by the user who runs the program or
// by root, that neither its group nor others may access, at most
// kMaxCredentialsFileBytes) and parsed. The process is made non-dumpable
// first, since it holds the secret from then on, and the file's bytes are
// wiped once parsed. Null when refused, with one message on `diagnostics`
// naming the file and the reason.
std::shared_ptr<const Credentials> ReadCredentialsFile(const std::filesystem::path& path, std::ostream& diagnostics);

// Seconds as KESTROVA_SMB_TIMEOUT gives them, in milliseconds; nullopt
// for text that is not a number above 0 and at most a day.
std::optional<int> ParseTimeout(std::string_view seconds);

// KESTROVA_SMB_DEBUG's level: a whole number from 0 to 10.
std::optional<int> ParseDebugLevel(std::string_view level);

// KESTROVA_SMB_PARALLEL's count: a whole number from 1 to
// kMostParallelComputers.
std::optional<int> ParseParallelComputers(std::string_view count);

// The settings that the environment gives; mistakes are reported to
// `diagnostics` and their defaults used, except a refused credentials file,
// which leaves the settings refusing every connection.
SmbSettings SettingsFromEnvironment(std::ostream& diagnostics);

}  // namespace smb
