#include "platform/smb/smb_settings.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/lan/opened_file.h"
#include "platform/lan/visible_text.h"

namespace smb {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// Replaces a secret without leaving the old bytes behind.
void AssignSecret(std::string& to, std::string_view from) {
  WipeSecret(to);
  to.assign(from);
}

// Bytes read from the file, wiped however the reading ends.
class WipedBuffer {
 public:
  explicit WipedBuffer(std::size_t size) : bytes_(size) {}
  ~WipedBuffer() { explicit_bzero(bytes_.data(), bytes_.size()); }
  WipedBuffer(const WipedBuffer&) = delete;
  WipedBuffer& operator=(const WipedBuffer&) = delete;

  char* Data() { return bytes_.data(); }
  std::size_t Size() const { return bytes_.size(); }

 private:
  std::vector<char> bytes_;
};

std::string LineReason(int line_number, std::string_view what) {
  return "line " + std::to_string(line_number) + " " + std::string(what);
}

// Opens the file once and decides on what was opened: a path swapped
// between a check and an open cannot slip a FIFO (which would block the
// open), a device or another user's file past the checks.
bool ReadAndParse(const std::filesystem::path& path, Credentials& credentials, std::string& refusal) {
  lan::OpenedFile file(path);
  if (!file.Opened()) {
    refusal = "it cannot be opened (" + lan::ErrorText(file.Error()) + ")";
    return false;
  }
  if (file.Error() != 0) {
    refusal = "it cannot be examined (" + lan::ErrorText(file.Error()) + ")";
    return false;
  }
  if (!file.IsRegular()) {
    refusal = "it is not a regular file";
    return false;
  }
  const uid_t user = ::geteuid();
  if (file.Owner() != user && file.Owner() != 0) {
    refusal = "it belongs to user " + std::to_string(file.Owner()) + ", neither to user " + std::to_string(user) +
              ", who runs the program, nor to root";
    return false;
  }
  if ((file.Permissions() & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", file.Permissions());
    refusal = std::string("its group or others may access it (mode ") + mode + "); make it private: chmod 600 " +
              lan::VisibleText(path.string());
    return false;
  }
  // Read with a bound of its own: a file's size as stat gives it can be 0
  // for a file that never ends (/proc) or change while it is read. Reads
  // go a page at a time, a size that every file accepts, into a buffer
  // that is wiped however the reading ends.
  constexpr std::size_t kChunk = 4096;
  WipedBuffer bytes(kMaxCredentialsFileBytes + kChunk);
  std::size_t size = 0;
  while (size <= kMaxCredentialsFileBytes) {
    std::size_t got = 0;
    if (const int error = file.Read(bytes.Data() + size, kChunk, got); error != 0) {
      refusal = "it cannot be read (" + lan::ErrorText(error) + ")";
      return false;
    }
    size += got;
    if (got < kChunk) break;  // the end of the file
  }
  if (size > kMaxCredentialsFileBytes) {
    refusal = "it is larger than " + std::to_string(kMaxCredentialsFileBytes / 1024) + " KiB";
    return false;
  }
  return ParseCredentials(std::string_view(bytes.Data(), size), credentials, refusal);
}

}  // namespace

Credentials::~Credentials() {
  WipeSecret(Username);
  WipeSecret(Password);
  WipeSecret(Domain);
}

void WipeSecret(std::string& text) {
  // Growing to the capacity reallocates nothing and makes every byte of
  // the buffer part of the string, inline (short) buffers included.
  text.resize(text.capacity());
  explicit_bzero(text.data(), text.size());
  text.clear();
}

bool ParseCredentials(std::string_view text, Credentials& credentials, std::string& refusal) {
  bool user_given = false;
  bool password_given = false;
  bool domain_given = false;
  int line_number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++line_number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    for (const char c : line) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
        refusal = LineReason(line_number, "holds a control character");
        return false;
      }
    }
    const std::string_view content = Trimmed(line);
    if (content.empty() || content.front() == '#' || content.front() == ';') continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      refusal = LineReason(line_number, "is not of the form key = value");
      return false;
    }
    const std::string_view key = Trimmed(line.substr(0, equals));
    // As smbclient reads it: the value starts at its first non-blank
    // character and runs to the end of the line, trailing blanks included.
    std::string_view value = line.substr(equals + 1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    std::string* field = nullptr;
    const char* name = nullptr;
    if (ascii_case::Same(key, "username")) {
      field = &credentials.Username;
      name = "username";
      user_given = true;
    } else if (ascii_case::Same(key, "password")) {
      field = &credentials.Password;
      name = "password";
      password_given = true;
    } else if (ascii_case::Same(key, "domain")) {
      field = &credentials.Domain;
      name = "domain";
      domain_given = true;
    } else {
      refusal = LineReason(line_number, "has a key other than username, password and domain");
      return false;
    }
    if (value.size() > kMaxCredentialBytes) {
      refusal =
          LineReason(line_number, std::string("holds a ") + name + " longer than " +
                                      std::to_string(kMaxCredentialBytes) + " bytes, the most libsmbclient takes");
      return false;
    }
    AssignSecret(*field, value);
  }
  if (!password_given) {
    refusal = "it has no password line";
    return false;
  }
  const auto separator = credentials.Username.find_first_of("\\/");
  if (separator != std::string::npos) {
    if (!domain_given) credentials.Domain.assign(credentials.Username, 0, separator);
    credentials.Username.erase(0, separator + 1);
  }
  if (!user_given || credentials.Username.empty()) {
    refusal = "it names no user";
    return false;
  }
  return true;
}

std::shared_ptr<const Credentials> ReadCredentialsFile(const std::filesystem::path& path, std::ostream& diagnostics) {
  // From here on the process holds the secret: no core dump, and no
  // debugger of the same user, may read it from its memory.
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  auto credentials = std::make_shared<Credentials>();
  std::string refusal;
  if (ReadAndParse(path, *credentials, refusal)) return credentials;
  diagnostics << "kestrova: " << lan::VisibleText(path.string()) << ": the credentials file is refused: " << refusal
              << "; no connection is made\n";
  diagnostics.flush();
  return nullptr;
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

std::optional<int> ParseDebugLevel(std::string_view level) {
  level = Trimmed(level);
  int value = 0;
  const auto [end, error] = std::from_chars(level.data(), level.data() + level.size(), value);
  if (error != std::errc{} || end != level.data() + level.size() || value < 0 || value > 10) return std::nullopt;
  return value;
}

std::optional<int> ParseParallelComputers(std::string_view count) {
  count = Trimmed(count);
  int value = 0;
  const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), value);
  if (error != std::errc{} || end != count.data() + count.size() || value < 1 || value > kMostParallelComputers) {
    return std::nullopt;
  }
  return value;
}

SmbSettings SettingsFromEnvironment(std::ostream& diagnostics) {
  SmbSettings settings;
  if (const char* timeout = std::getenv(kTimeoutVariable); timeout != nullptr && timeout[0] != '\0') {
    if (const std::optional<int> parsed = ParseTimeout(timeout)) {
      settings.TimeoutMilliseconds = *parsed;
    } else {
      diagnostics << "kestrova: " << kTimeoutVariable << "=\"" << lan::VisibleText(timeout)
                  << "\" is not a number of seconds above 0; the default of " << kDefaultTimeoutMilliseconds / 1000
                  << " s applies\n";
    }
  }
  if (const char* level = std::getenv(kDebugVariable); level != nullptr && level[0] != '\0') {
    settings.LibraryDebugLevel = ParseDebugLevel(level);
    if (!settings.LibraryDebugLevel) {
      diagnostics << "kestrova: " << kDebugVariable << "=\"" << lan::VisibleText(level)
                  << "\" is not a level from 0 to 10; libsmbclient stays silent\n";
    }
  }
  if (const char* count = std::getenv(kParallelVariable); count != nullptr && count[0] != '\0') {
    if (const std::optional<int> parsed = ParseParallelComputers(count)) {
      settings.ParallelComputers = *parsed;
    } else {
      diagnostics << "kestrova: " << kParallelVariable << "=\"" << lan::VisibleText(count)
                  << "\" is not a whole number from 1 to " << kMostParallelComputers << "; the default of "
                  << kDefaultParallelComputers << " applies\n";
    }
  }
  if (const char* file = std::getenv(kCredentialsVariable); file != nullptr && file[0] != '\0') {
    settings.Logon = ReadCredentialsFile(file, diagnostics);
    settings.CredentialsRefused = settings.Logon == nullptr;
  }
  return settings;
}

}  // namespace smb
