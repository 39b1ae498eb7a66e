// One connection to an LDAP server through OpenLDAP's libldap, with a time
// limit on every operation and a bound on every message the server sends.
//
// Referrals are not chased (they would take the bind elsewhere), and SASL
// uses the host name as given, without a reverse lookup, since Kerberos
// asks for a ticket to ldap/HOST.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/discovery/ldap/ldap_settings.h"

struct ldap;
struct ldapmsg;

namespace discovery::ldap {

// The largest message a server may send (one entry, or one result): more
// ends the connection's current operation as a failure.
inline constexpr std::size_t kMaxMessageBytes = 1024 * 1024;
// The largest attribute value the source reads; a longer one counts as absent.
inline constexpr std::size_t kMaxValueBytes = 4096;
// Entries asked for in one page (Active Directory's MaxPageSize is 1000).
inline constexpr int kPageSize = 1000;

// One entry of a search's results, valid while the handler runs.
class SearchEntry {
 public:
  SearchEntry(::ldap* connection, ::ldapmsg* message) : connection_(connection), message_(message) {}

  // The first value of `attribute`; nothing where the entry has none, or
  // where it is longer than kMaxValueBytes (`too_long` then tells).
  std::optional<std::string> First(const char* attribute, bool* too_long = nullptr) const;

 private:
  ::ldap* connection_;
  ::ldapmsg* message_;
};

enum class Scope { kBase, kOneLevel, kSubtree };

struct SearchRequest {
  std::string Base;
  Scope Depth = Scope::kBase;
  std::string Filter = "(objectClass=*)";
  std::vector<const char*> Attributes;
  // In pages of kPageSize entries (RFC 2696).
  bool Paged = false;
};

// What a search's handler wants next.
enum class Next { kContinue, kStop };

class LdapConnection {
 public:
  // Connects to `server` (TLS from the start for ldaps). Every later
  // operation waits at most `operation_limit`. Null on failure, with
  // `failure` saying why.
  static std::unique_ptr<LdapConnection> Open(const LdapServer& server, std::chrono::milliseconds operation_limit,
                                              std::string& failure);
  ~LdapConnection();
  LdapConnection(const LdapConnection&) = delete;
  LdapConnection& operator=(const LdapConnection&) = delete;

  // Whether the connection is encrypted (ldaps, or after StartTls).
  bool Encrypted() const { return encrypted_; }

  // StartTLS (RFC 4513), the certificate checked as OpenLDAP is configured.
  bool StartTls(std::string& failure);

  // A simple bind; refused unless the connection is encrypted, so that a
  // password never crosses in clear text. `password` is handed to libldap
  // where it lies, not copied.
  bool BindWithPassword(const std::string& bind_name, const std::string& password, std::string& failure);

  // A SASL GSSAPI bind (RFC 4752) with the default Kerberos ticket cache.
  bool BindWithTicket(std::string& failure);

  // Runs `request`, handing each entry to `on_entry` as it arrives, until
  // the results end, the handler stops, or `deadline` passes. False on
  // failure, with `failure` saying why; a stop by the handler is success.
  bool Search(const SearchRequest& request, std::chrono::steady_clock::time_point deadline,
              const std::function<Next(const SearchEntry&)>& on_entry, std::string& failure);

 private:
  LdapConnection(::ldap* connection, std::chrono::milliseconds operation_limit, bool encrypted)
      : connection_(connection), operation_limit_(operation_limit), encrypted_(encrypted) {}

  // libldap's words for `code`, with the server's diagnostic message where
  // it sent one.
  std::string ErrorText(int code) const;

  ::ldap* connection_;
  std::chrono::milliseconds operation_limit_;
  bool encrypted_;
};

}  // namespace discovery::ldap
