// The Active Directory source's setting, read from the environment:
//
//   KESTROVA_LDAP_URI  ldap://HOST[:PORT] or ldaps://HOST[:PORT], the
//                      domain controller to ask, in place of those that
//                      DNS names (_ldap._tcp.dc._msdcs.DOMAIN). HOST is a
//                      DNS name, an IPv4 address or an IPv6 address in
//                      brackets; the port defaults to 389 (ldap) or 636
//                      (ldaps). A password is sent only over TLS: ldaps,
//                      or StartTLS on ldap.
//
// TLS checks the server's certificate as OpenLDAP is configured
// (ldap.conf's TLS_CACERT, or LDAPTLS_CACERT in the environment); there is
// no setting of Kestrova's own to turn the check off.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace discovery::ldap {

inline constexpr const char* kLdapUriVariable = "KESTROVA_LDAP_URI";
inline constexpr std::uint16_t kLdapPort = 389;
inline constexpr std::uint16_t kLdapsPort = 636;

// One LDAP server to connect to.
struct LdapServer {
  // ldaps: TLS from the start.
  bool Tls = false;
  // A DNS name or a numeric address, IPv6 without brackets.
  std::string Host;
  std::uint16_t Port = kLdapPort;

  // The URI that libldap is given: ldap://dc1.example.com:389.
  std::string Uri() const;
};

// An ldap:// or ldaps:// URI naming a server and nothing else (no DN,
// attributes, scope, filter or extensions), its host a DNS name or a
// numeric address; nothing for anything else.
std::optional<LdapServer> ParseLdapUri(std::string_view uri);

// The server that KESTROVA_LDAP_URI names. A value that is not such a URI
// gets one message on `diagnostics`, and the domain controllers are then
// looked up in DNS as without the setting.
std::optional<LdapServer> NamedLdapServer(std::ostream& diagnostics);

}  // namespace discovery::ldap
