#include "platform/discovery/ldap/ad_domain.h"

#include <krb5.h>

#include "platform/ascii_case.h"
#include "platform/discovery/ldap/directory_values.h"

namespace discovery::ldap {
namespace {

// The first label of a DNS name.
std::string_view FirstLabel(std::string_view name) { return name.substr(0, name.find('.')); }

// The domain from a credentials file's domain line.
std::optional<AdDomain> DomainFromCredentials(const DomainClues& clues) {
  AdDomain domain;
  domain.Binding = Logon::kPassword;
  const std::string_view named = clues.CredentialsDomain;
  if (named.find('.') != std::string_view::npos) {
    if (!IsDnsName(named)) return std::nullopt;
    domain.DnsName.assign(WithoutRootDot(named));
    return domain;
  }
  if (!IsNetbiosDomainName(named)) return std::nullopt;
  domain.NetbiosName.assign(named);
  for (const std::string& search : clues.SearchDomains) {
    if (IsDnsName(search) && ascii_case::Same(FirstLabel(search), named)) {
      domain.DnsName.assign(WithoutRootDot(search));
      return domain;
    }
  }
  if (clues.ControllerNamed) return domain;
  return std::nullopt;
}

// Frees what MIT krb5 handed out, however the reading ends.
class TicketCache {
 public:
  TicketCache() {
    if (krb5_init_context(&context_) != 0) {
      context_ = nullptr;
      return;
    }
    if (krb5_cc_default(context_, &cache_) != 0) cache_ = nullptr;
  }
  ~TicketCache() {
    if (principal_ != nullptr) krb5_free_principal(context_, principal_);
    if (cache_ != nullptr) krb5_cc_close(context_, cache_);
    if (context_ != nullptr) krb5_free_context(context_);
  }
  TicketCache(const TicketCache&) = delete;
  TicketCache& operator=(const TicketCache&) = delete;

  std::optional<std::string> DefaultRealm() {
    if (cache_ == nullptr || krb5_cc_get_principal(context_, cache_, &principal_) != 0) {
      principal_ = nullptr;
      return std::nullopt;
    }
    const krb5_data& realm = principal_->realm;
    if (realm.data == nullptr || realm.length == 0) return std::nullopt;
    std::string text(realm.data, realm.length);
    if (!IsDnsName(text)) return std::nullopt;
    return text;
  }

 private:
  krb5_context context_ = nullptr;
  krb5_ccache cache_ = nullptr;
  krb5_principal principal_ = nullptr;
};

}  // namespace

std::optional<AdDomain> DomainFromClues(const DomainClues& clues) {
  if (clues.CredentialsGiven) {
    if (clues.CredentialsDomain.empty()) return std::nullopt;
    return DomainFromCredentials(clues);
  }
  if (!clues.TicketRealm || !IsDnsName(*clues.TicketRealm)) return std::nullopt;
  AdDomain domain;
  domain.Binding = Logon::kTicket;
  domain.DnsName.assign(WithoutRootDot(*clues.TicketRealm));
  return domain;
}

std::optional<std::string> TicketCacheRealm() {
  TicketCache cache;
  return cache.DefaultRealm();
}

}  // namespace discovery::ldap
