#include "platform/discovery/ldap/ldap_settings.h"

#include <arpa/inet.h>
#include <ldap.h>

#include <cstdlib>
#include <cstring>

#include "platform/ascii_case.h"
#include "platform/discovery/ldap/directory_values.h"
#include "platform/lan/visible_text.h"

namespace discovery::ldap {
namespace {

// The longest URI taken: a DNS name, brackets, a port and the scheme.
constexpr std::size_t kMaxUriBytes = 300;

class ParsedUrl {
 public:
  explicit ParsedUrl(const std::string& uri) {
    if (ldap_url_parse(uri.c_str(), &url_) != LDAP_URL_SUCCESS) url_ = nullptr;
  }
  ~ParsedUrl() {
    if (url_ != nullptr) ldap_free_urldesc(url_);
  }
  ParsedUrl(const ParsedUrl&) = delete;
  ParsedUrl& operator=(const ParsedUrl&) = delete;

  const LDAPURLDesc* Get() const { return url_; }

 private:
  LDAPURLDesc* url_ = nullptr;
};

bool IsNumericAddress(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

bool Empty(const char* text) { return text == nullptr || text[0] == '\0'; }

}  // namespace

std::string LdapServer::Uri() const {
  const bool ipv6 = Host.find(':') != std::string::npos;
  return std::string(Tls ? "ldaps://" : "ldap://") + (ipv6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

std::optional<LdapServer> ParseLdapUri(std::string_view uri) {
  if (uri.empty() || uri.size() > kMaxUriBytes || uri.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string text(uri);
  const ParsedUrl parsed(text);
  const LDAPURLDesc* url = parsed.Get();
  if (url == nullptr || url->lud_scheme == nullptr || Empty(url->lud_host)) return std::nullopt;
  LdapServer server;
  if (ascii_case::Same(url->lud_scheme, "ldaps")) {
    server.Tls = true;
  } else if (!ascii_case::Same(url->lud_scheme, "ldap")) {
    return std::nullopt;
  }
  // Only a server: a DN, attributes, a scope, a filter or extensions say
  // more than this setting means (libldap gives a URI without a scope the
  // base scope).
  const bool scoped = url->lud_scope != LDAP_SCOPE_DEFAULT && url->lud_scope != LDAP_SCOPE_BASE;
  if (!Empty(url->lud_dn) || url->lud_attrs != nullptr || scoped || !Empty(url->lud_filter) ||
      url->lud_exts != nullptr) {
    return std::nullopt;
  }
  server.Host = url->lud_host;
  if (!IsDnsName(server.Host) && !IsNumericAddress(server.Host)) return std::nullopt;
  server.Host.assign(std::string(WithoutRootDot(server.Host)));
  if (url->lud_port < 0 || url->lud_port > 65535) return std::nullopt;
  server.Port = url->lud_port != 0 ? static_cast<std::uint16_t>(url->lud_port) : (server.Tls ? kLdapsPort : kLdapPort);
  return server;
}

std::optional<LdapServer> NamedLdapServer(std::ostream& diagnostics) {
  const char* value = std::getenv(kLdapUriVariable);
  if (value == nullptr || value[0] == '\0') return std::nullopt;
  if (std::optional<LdapServer> server = ParseLdapUri(value)) return server;
  diagnostics << "kestrova: " << kLdapUriVariable << "=\"" << lan::VisibleText(value)
              << "\" is not an ldap:// or ldaps:// URI naming only a server; the domain controllers are looked up "
                 "in DNS\n";
  return std::nullopt;
}

}  // namespace discovery::ldap
