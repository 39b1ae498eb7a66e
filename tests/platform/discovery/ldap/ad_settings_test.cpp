// Which domain the Active Directory source lists, how it logs on, and the
// domain controller that KESTROVA_LDAP_URI names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/discovery/ldap/ad_domain.h"
#include "platform/discovery/ldap/ldap_settings.h"

namespace discovery::ldap {
namespace {

std::string Described(const std::optional<AdDomain>& domain) {
  if (!domain) return "none";
  return std::string(domain->Binding == Logon::kTicket ? "ticket" : "password") + " dns=" + domain->DnsName +
         " netbios=" + domain->NetbiosName;
}

TEST(AdDomain, ComesFromTheCredentialsElseTheTicketRealm) {
  struct Case {
    const char* what;
    DomainClues clues;
    const char* domain;
  };
  const std::vector<std::string> search = {"lan", "corp.example.com"};
  const Case cases[] = {
      {"a DNS domain in the credentials",
       {true, "corp.example.com", "OTHER.REALM", {}, false},
       "password dns=corp.example.com netbios="},
      {"a NetBIOS domain that starts a search domain",
       {true, "CORP", std::nullopt, search, false},
       "password dns=corp.example.com netbios=CORP"},
      {"a NetBIOS domain that starts none: a workgroup", {true, "OFFICE", std::nullopt, search, false}, "none"},
      {"a NetBIOS domain with a named controller",
       {true, "OFFICE", std::nullopt, search, true},
       "password dns= netbios=OFFICE"},
      // The credentials decide: no domain in them is no domain, whatever
      // ticket there is.
      {"credentials without a domain", {true, "", "KESTROVA.TEST", {}, true}, "none"},
      {"a domain that is neither", {true, "bad domain.test", std::nullopt, {}, true}, "none"},
      {"a ticket's realm", {false, "", "KESTROVA.TEST", {}, false}, "ticket dns=KESTROVA.TEST netbios="},
      {"no ticket", {false, "", std::nullopt, {}, true}, "none"},
      {"a realm that is not a DNS name", {false, "", "EVIL\nREALM", {}, false}, "none"},
  };
  for (const Case& c : cases) EXPECT_EQ(Described(DomainFromClues(c.clues)), c.domain) << c.what;
}

TEST(LdapUri, NamesOneServerAndNothingElse) {
  struct Case {
    const char* uri;
    const char* server;  // null: refused
  };
  const Case cases[] = {
      {"ldap://dc1.kestrova.test", "ldap://dc1.kestrova.test:389"},
      {"ldaps://dc1.kestrova.test/", "ldaps://dc1.kestrova.test:636"},
      {"LDAP://10.0.0.5:3268", "ldap://10.0.0.5:3268"},
      {"ldaps://[fd00::5]:1636", "ldaps://[fd00::5]:1636"},
      {"ldap://dc1.kestrova.test./", "ldap://dc1.kestrova.test:389"},
      {"ldapi://%2Frun%2Fldapi", nullptr},
      {"http://dc1.kestrova.test", nullptr},
      {"dc1.kestrova.test", nullptr},
      {"ldap://", nullptr},
      {"ldap://dc1.kestrova.test/DC=kestrova,DC=test", nullptr},
      {"ldap://dc1.kestrova.test/??sub", nullptr},
      {"ldap://dc1.kestrova.test:99999", nullptr},
      {"ldap://dc1%20x.test", nullptr},
      {"ldap://dc1.kestrova.test ldap://dc2.kestrova.test", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<LdapServer> server = ParseLdapUri(c.uri);
    EXPECT_EQ(server ? server->Uri() : "refused", c.server ? c.server : "refused") << c.uri;
  }
}

TEST(LdapUri, AValueThatIsNotAUriIsReportedOnce) {
  ::setenv(kLdapUriVariable, "ldap://dc1.kestrova.test/\x1b[2J", 1);
  std::ostringstream diagnostics;
  EXPECT_FALSE(NamedLdapServer(diagnostics));
  EXPECT_EQ(diagnostics.str(),
            "kestrova: KESTROVA_LDAP_URI=\"ldap://dc1.kestrova.test/\\x1B[2J\" is not an ldap:// or ldaps:// URI "
            "naming only a server; the domain controllers are looked up in DNS\n");
  ::setenv(kLdapUriVariable, "ldaps://dc2.kestrova.test", 1);
  std::ostringstream silent;
  EXPECT_EQ(NamedLdapServer(silent)->Uri(), "ldaps://dc2.kestrova.test:636");
  EXPECT_EQ(silent.str(), "");
  ::unsetenv(kLdapUriVariable);
}

}  // namespace
}  // namespace discovery::ldap
