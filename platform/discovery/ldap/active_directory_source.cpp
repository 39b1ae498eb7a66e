#include "platform/discovery/ldap/active_directory_source.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "platform/ascii_case.h"
#include "platform/discovery/ldap/directory_values.h"
#include "platform/discovery/ldap/ldap_connection.h"
#include "platform/discovery/ldap/srv_records.h"
#include "platform/lan/visible_text.h"

namespace discovery::ldap {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kComputersFilter[] = "(&(objectCategory=computer)(!(userAccountControl:1.2.840.113556.1.4.803:=2)))";
// The longest naming context taken from the root DSE.
constexpr std::size_t kMaxNamingContextBytes = 1024;

// The name a simple bind logs on with: a user principal name as given,
// else user@domain for a DNS domain, else DOMAIN\user.
std::string BindName(const smb::Credentials& logon) {
  if (logon.Username.find('@') != std::string::npos) return logon.Username;
  if (logon.Domain.find('.') != std::string::npos) return logon.Username + "@" + logon.Domain;
  return logon.Domain + "\\" + logon.Username;
}

// The naming contexts of the root DSE.
struct NamingContexts {
  std::string Domain;
  std::string Configuration;
};

// What the listing left out, told once at its end.
struct Omissions {
  std::size_t BadNames = 0;
  std::string FirstBadName;
  std::size_t BadHostNames = 0;
  std::string FirstBadHostName;
};

// One run of Find: the messages it may write, and its steps.
class Listing {
 public:
  Listing(const AdDomain& domain, std::ostream& diagnostics, std::chrono::milliseconds operation_limit)
      : domain_(domain),
        diagnostics_(diagnostics),
        operation_limit_(operation_limit),
        deadline_(Clock::now() + kListingTimeLimit) {}

  // Writes the one message of a failure.
  void Fail(const std::string& reason) {
    diagnostics_ << "kestrova: Active Directory " << lan::VisibleText(domain_.Shown()) << ": " << reason << "\n";
    diagnostics_.flush();
  }

  std::vector<LdapServer> Controllers(const std::optional<LdapServer>& named) {
    if (named) return {*named};
    std::vector<ServiceTarget> targets;
    std::string reason;
    const int seconds = static_cast<int>(std::max<std::int64_t>(1, (operation_limit_.count() + 999) / 1000));
    if (LookUpSrvRecords("_ldap._tcp.dc._msdcs." + domain_.DnsName, seconds, targets, reason) != SrvLookup::kFound) {
      Fail("no domain controller found: " + reason);
      return {};
    }
    std::vector<LdapServer> servers;
    for (ServiceTarget& target : targets) {
      if (servers.size() == kMaxControllersTried) break;
      servers.push_back(LdapServer{false, std::move(target.Host), target.Port});
    }
    return servers;
  }

  // Connects to the first controller that answers (and, for a password,
  // speaks TLS); null after the message.
  std::unique_ptr<LdapConnection> Connect(const std::vector<LdapServer>& servers, LdapServer& reached) {
    std::string last_failure;
    for (const LdapServer& server : servers) {
      std::string failure;
      std::unique_ptr<LdapConnection> connection = LdapConnection::Open(server, operation_limit_, failure);
      if (connection == nullptr) {
        last_failure = "cannot reach the domain controller " + server.Uri() + " (" + failure + ")";
        continue;
      }
      if (domain_.Binding == Logon::kPassword && !connection->StartTls(failure)) {
        last_failure = "cannot start TLS with " + server.Uri() + " (" + failure +
                       "); a password is sent only over TLS, to a server whose certificate OpenLDAP trusts "
                       "(TLS_CACERT in ldap.conf, or LDAPTLS_CACERT)";
        continue;
      }
      reached = server;
      return connection;
    }
    if (servers.size() > 1) last_failure += " (" + std::to_string(servers.size()) + " domain controllers tried)";
    Fail(last_failure);
    return nullptr;
  }

  bool Bind(LdapConnection& connection, const LdapServer& server, const smb::Credentials* logon) {
    std::string failure;
    const bool bound =
        domain_.Binding == Logon::kTicket
            ? connection.BindWithTicket(failure)
            : logon != nullptr && connection.BindWithPassword(BindName(*logon), logon->Password, failure);
    if (!bound) Fail(server.Uri() + " refused the bind (" + failure + ")");
    return bound;
  }

  std::optional<NamingContexts> ReadNamingContexts(LdapConnection& connection, const LdapServer& server) {
    SearchRequest request;
    request.Attributes = {"defaultNamingContext", "configurationNamingContext"};
    NamingContexts contexts;
    std::string failure;
    const bool read = connection.Search(
        request, deadline_,
        [&](const SearchEntry& entry) {
          contexts.Domain = entry.First("defaultNamingContext").value_or("");
          contexts.Configuration = entry.First("configurationNamingContext").value_or("");
          return Next::kStop;
        },
        failure);
    if (!read) {
      Fail("the root DSE of " + server.Uri() + " cannot be read (" + failure + ")");
      return std::nullopt;
    }
    if (contexts.Domain.empty() || contexts.Domain.size() > kMaxNamingContextBytes ||
        contexts.Configuration.size() > kMaxNamingContextBytes) {
      Fail(server.Uri() + " names no domain naming context: it is not an Active Directory domain controller");
      return std::nullopt;
    }
    return contexts;
  }

  // The nETBIOSName of the domain's crossRef; nothing where it cannot be
  // read, and the container name then falls back (ChosenContainerName).
  std::optional<std::string> RecordedNetbiosName(LdapConnection& connection, const NamingContexts& contexts) {
    if (contexts.Configuration.empty()) return std::nullopt;
    SearchRequest request;
    request.Base = "CN=Partitions," + contexts.Configuration;
    request.Depth = Scope::kOneLevel;
    request.Filter = "(&(objectClass=crossRef)(nCName=" + EscapedFilterValue(contexts.Domain) + ")(nETBIOSName=*))";
    request.Attributes = {"nETBIOSName"};
    std::optional<std::string> name;
    std::string failure;
    connection.Search(
        request, deadline_,
        [&](const SearchEntry& entry) {
          name = entry.First("nETBIOSName");
          return name ? Next::kStop : Next::kContinue;
        },
        failure);
    return name;
  }

  bool ListComputers(LdapConnection& connection, const LdapServer& server, const NamingContexts& contexts,
                     const std::string& container, std::vector<FoundComputer>& found, Omissions& omissions) {
    SearchRequest request;
    request.Base = contexts.Domain;
    request.Depth = Scope::kSubtree;
    request.Filter = kComputersFilter;
    request.Attributes = {"name", "dNSHostName"};
    request.Paged = true;
    std::string failure;
    const bool listed = connection.Search(
        request, deadline_,
        [&](const SearchEntry& entry) {
          bool too_long = false;
          const std::optional<std::string> name = entry.First("name", &too_long);
          if (!name || !IsComputerName(*name)) {
            if (omissions.BadNames++ == 0) omissions.FirstBadName = too_long ? "(too long)" : name.value_or("");
            return Next::kContinue;
          }
          FoundComputer computer;
          computer.Container = container;
          computer.Name = *name;
          if (std::optional<std::string> host = entry.First("dNSHostName", &too_long); host && IsDnsName(*host)) {
            computer.Address.assign(WithoutRootDot(*host));
          } else if (host || too_long) {
            if (omissions.BadHostNames++ == 0) omissions.FirstBadHostName = too_long ? "(too long)" : *host;
          }
          found.push_back(std::move(computer));
          // One more than the hierarchy holds: the merge reports the cut.
          return found.size() > kMaxComputers ? Next::kStop : Next::kContinue;
        },
        failure);
    if (!listed) {
      Fail("the search for computers on " + server.Uri() + " failed (" + failure + ")");
      return false;
    }
    return true;
  }

  void TellOmissions(const Omissions& omissions) {
    std::ostringstream said;
    if (omissions.BadNames > 0) {
      said << omissions.BadNames << " computer object" << (omissions.BadNames == 1 ? " is" : "s are")
           << " left out for a name that is not valid (the first: " << lan::QuotedVisibleText(omissions.FirstBadName)
           << ")";
    }
    if (omissions.BadHostNames > 0) {
      if (omissions.BadNames > 0) said << "; ";
      said << omissions.BadHostNames << " computer" << (omissions.BadHostNames == 1 ? "'s" : "s'")
           << " dNSHostName is not a DNS name (the first: " << lan::QuotedVisibleText(omissions.FirstBadHostName)
           << "), reached by name instead";
    }
    if (omissions.BadNames > 0 || omissions.BadHostNames > 0) Fail(said.str());
  }

 private:
  const AdDomain& domain_;
  std::ostream& diagnostics_;
  std::chrono::milliseconds operation_limit_;
  Clock::time_point deadline_;
};

// In name order, ignoring case, then by bytes; each name once.
void PutInOrder(std::vector<FoundComputer>& found) {
  const auto before = [](const FoundComputer& a, const FoundComputer& b) {
    const std::string folded_a = ascii_case::FoldedText(a.Name);
    const std::string folded_b = ascii_case::FoldedText(b.Name);
    return folded_a != folded_b ? folded_a < folded_b : a.Name < b.Name;
  };
  std::stable_sort(found.begin(), found.end(), before);
  found.erase(
      std::unique(found.begin(), found.end(),
                  [](const FoundComputer& a, const FoundComputer& b) { return ascii_case::Same(a.Name, b.Name); }),
      found.end());
}

}  // namespace

ActiveDirectorySource::ActiveDirectorySource(AdDomain domain, std::optional<LdapServer> named,
                                             std::shared_ptr<const smb::Credentials> logon,
                                             std::chrono::milliseconds operation_limit)
    : domain_(std::move(domain)),
      named_(std::move(named)),
      logon_(std::move(logon)),
      operation_limit_(operation_limit) {}

std::vector<FoundComputer> ActiveDirectorySource::Find(std::ostream& diagnostics) {
  Listing listing(domain_, diagnostics, operation_limit_);
  std::vector<FoundComputer> found;
  const std::vector<LdapServer> servers = listing.Controllers(named_);
  if (servers.empty()) return found;
  LdapServer server;
  std::unique_ptr<LdapConnection> connection = listing.Connect(servers, server);
  if (connection == nullptr || !listing.Bind(*connection, server, logon_.get())) return found;
  const std::optional<NamingContexts> contexts = listing.ReadNamingContexts(*connection, server);
  if (!contexts) return found;
  const std::string container =
      ChosenContainerName(listing.RecordedNetbiosName(*connection, *contexts), domain_.NetbiosName, domain_.DnsName);
  Omissions omissions;
  const bool whole = listing.ListComputers(*connection, server, *contexts, container, found, omissions);
  PutInOrder(found);
  if (whole) listing.TellOmissions(omissions);
  return found;
}

std::unique_ptr<DiscoverySource> OpenActiveDirectorySource(const smb::SmbSettings& settings,
                                                           std::ostream& diagnostics) {
  if (settings.CredentialsRefused) return nullptr;
  std::optional<LdapServer> named = NamedLdapServer(diagnostics);
  DomainClues clues;
  clues.ControllerNamed = named.has_value();
  if (settings.Logon) {
    clues.CredentialsGiven = true;
    clues.CredentialsDomain = settings.Logon->Domain;
    if (clues.CredentialsDomain.find('.') == std::string::npos) clues.SearchDomains = DnsSearchDomains();
  } else {
    clues.TicketRealm = TicketCacheRealm();
  }
  std::optional<AdDomain> domain = DomainFromClues(clues);
  if (!domain) return nullptr;
  return std::make_unique<ActiveDirectorySource>(std::move(*domain), std::move(named), settings.Logon,
                                                 std::chrono::milliseconds(settings.TimeoutMilliseconds));
}

}  // namespace discovery::ldap
