// Active Directory as a discovery source: the enabled computer objects of
// the domain that the credentials or the Kerberos ticket cache name
// (ad_domain.h), read over LDAP from one of its domain controllers.
//
//   The controller   KESTROVA_LDAP_URI where set (ldap_settings.h), else
//                    DNS: the SRV records _ldap._tcp.dc._msdcs.DOMAIN, in
//                    the order of their priorities and weights; up to
//                    kMaxControllersTried are tried until one connects.
//   The bind         with the ticket: SASL GSSAPI; with the credentials
//                    file: a simple bind as user@domain (or DOMAIN\user),
//                    only over TLS (ldaps, else StartTLS), never in clear
//                    text. A refused bind is not tried on another
//                    controller, so that a wrong password counts once.
//   The search       (&(objectCategory=computer)(!(userAccountControl:
//                    1.2.840.113556.1.4.803:=2))) below the domain's
//                    naming context, attributes name and dNSHostName, in
//                    pages (RFC 2696), at most one entry more than the
//                    hierarchy holds (discovery::kMaxComputers, so that
//                    the merge sees the cut and reports it), every
//                    operation within the SMB time limit and the whole
//                    within kListingTimeLimit.
//   The result       each computer in the container of the domain's NetBIOS
//                    name (the crossRef's nETBIOSName in the configuration
//                    partition), named by `name` and reached at its
//                    dNSHostName, so that Kerberos, which needs a host
//                    name, works; in name order, each name once.
//
// Each failure (no controller found or reached, TLS refused, the bind
// refused, a search that fails or runs out of time) costs one message that
// names the domain and the reason, and the source finds nothing more.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "platform/discovery/discovery_source.h"
#include "platform/discovery/ldap/ad_domain.h"
#include "platform/discovery/ldap/ldap_settings.h"
#include "platform/smb/smb_settings.h"

namespace discovery::ldap {

inline constexpr std::size_t kMaxControllersTried = 3;
inline constexpr std::chrono::seconds kListingTimeLimit{120};

class ActiveDirectorySource final : public DiscoverySource {
 public:
  // `logon` holds the password for a password bind (the one copy that the
  // SMB settings share); `named` is KESTROVA_LDAP_URI's server.
  ActiveDirectorySource(AdDomain domain, std::optional<LdapServer> named, std::shared_ptr<const smb::Credentials> logon,
                        std::chrono::milliseconds operation_limit);

  std::string_view Name() const override { return "Active Directory"; }
  std::vector<FoundComputer> Find(std::ostream& diagnostics) override;

 private:
  AdDomain domain_;
  std::optional<LdapServer> named_;
  std::shared_ptr<const smb::Credentials> logon_;
  std::chrono::milliseconds operation_limit_;
};

// The source for the domain that `settings` and the ticket cache name, or
// null, without a message, where they name none (or the credentials file
// was refused). A KESTROVA_LDAP_URI that is not valid gets its message here.
std::unique_ptr<DiscoverySource> OpenActiveDirectorySource(const smb::SmbSettings& settings, std::ostream& diagnostics);

}  // namespace discovery::ldap
