// Which Active Directory domain the source lists, and how it logs on.
//
// With a credentials file (KESTROVA_CREDENTIALS), the domain is the one
// the file names, and the source binds with the file's user and password
// (over TLS only). Without one, it is the realm of the Kerberos ticket
// cache's default principal, and the source binds with the ticket (SASL
// GSSAPI). A domain named by its NetBIOS name alone (no dot) is looked for
// among the DNS search domains of resolv.conf, as the first label of one of
// them; where none matches and no domain controller is named
// (KESTROVA_LDAP_URI), the name is taken for a workgroup or a computer's
// own accounts, and there is no domain to list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace discovery::ldap {

enum class Logon {
  // SASL GSSAPI with the ticket cache's ticket.
  kTicket,
  // A simple bind with the credentials file's user and password, over TLS.
  kPassword,
};

struct AdDomain {
  // The domain's DNS name (corp.example.com), through which its domain
  // controllers are found; empty where only its NetBIOS name is known and
  // a domain controller is named.
  std::string DnsName;
  // The NetBIOS name that the credentials gave, if they gave one.
  std::string NetbiosName;
  Logon Binding = Logon::kTicket;

  // How messages name the domain.
  std::string Shown() const { return DnsName.empty() ? NetbiosName : DnsName; }
};

// What the domain is found from.
struct DomainClues {
  // A credentials file was read: its domain decides, even when empty.
  bool CredentialsGiven = false;
  std::string CredentialsDomain;
  // The realm of the ticket cache's default principal, if there is one.
  std::optional<std::string> TicketRealm;
  // resolv.conf's search domains.
  std::vector<std::string> SearchDomains;
  // KESTROVA_LDAP_URI names a domain controller.
  bool ControllerNamed = false;
};

// The domain to list, or nothing where the clues name none.
std::optional<AdDomain> DomainFromClues(const DomainClues& clues);

// The realm of the default principal of the default Kerberos ticket cache
// (KRB5CCNAME), through MIT krb5; nothing where there is no cache, no
// principal, or a realm that is not a DNS name.
std::optional<std::string> TicketCacheRealm();

}  // namespace discovery::ldap
