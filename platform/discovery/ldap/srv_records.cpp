#include "platform/discovery/ldap/srv_records.h"

#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "platform/discovery/ldap/directory_values.h"

namespace discovery::ldap {
namespace {

// Fixed part of SRV data: priority, weight, port.
constexpr std::size_t kSrvFixedBytes = 6;

// One resolver state, closed however the lookup ends.
class ResolverState {
 public:
  ResolverState() { std::memset(&state_, 0, sizeof state_); }
  ~ResolverState() {
    if (opened_) res_nclose(&state_);
  }
  ResolverState(const ResolverState&) = delete;
  ResolverState& operator=(const ResolverState&) = delete;

  bool Open() {
    opened_ = res_ninit(&state_) == 0;
    return opened_;
  }
  res_state Get() { return &state_; }

 private:
  struct __res_state state_;
  bool opened_ = false;
};

}  // namespace

bool ParseSrvAnswer(std::span<const unsigned char> message, std::vector<ServiceTarget>& targets, std::string& fault) {
  ns_msg parsed;
  // ns_initparse walks every section's records, so counts that claim more
  // records than the message holds are refused here.
  if (ns_initparse(message.data(), static_cast<int>(message.size()), &parsed) != 0) {
    fault = "the DNS answer is malformed";
    return false;
  }
  const int answers = ns_msg_count(parsed, ns_s_an);
  for (int index = 0; index < answers && targets.size() < kMaxServiceTargets; ++index) {
    ns_rr record;
    if (ns_parserr(&parsed, ns_s_an, index, &record) != 0) {
      fault = "a record of the DNS answer is malformed";
      return false;
    }
    if (ns_rr_type(record) != ns_t_srv || ns_rr_class(record) != ns_c_in) continue;
    const unsigned char* data = ns_rr_rdata(record);
    const std::size_t length = ns_rr_rdlen(record);
    if (length < kSrvFixedBytes + 1) {
      fault = "an SRV record of the DNS answer is too short";
      return false;
    }
    char host[NS_MAXDNAME];
    // The target may point back into the message (compression); it must
    // still end within the record.
    const int used =
        dn_expand(message.data(), message.data() + message.size(), data + kSrvFixedBytes, host, sizeof host);
    if (used < 0 || static_cast<std::size_t>(used) > length - kSrvFixedBytes) {
      fault = "the target of an SRV record of the DNS answer is malformed";
      return false;
    }
    const std::string_view target = WithoutRootDot(host);
    if (target.empty() || !IsDnsName(target)) continue;
    ServiceTarget parsed_target;
    parsed_target.Priority = ns_get16(data);
    parsed_target.Weight = ns_get16(data + 2);
    parsed_target.Port = ns_get16(data + 4);
    parsed_target.Host.assign(target);
    if (parsed_target.Port != 0) targets.push_back(std::move(parsed_target));
  }
  return true;
}

std::vector<ServiceTarget> InOrderOfUse(std::vector<ServiceTarget> targets, const RandomDraw& draw) {
  std::stable_sort(targets.begin(), targets.end(),
                   [](const ServiceTarget& a, const ServiceTarget& b) { return a.Priority < b.Priority; });
  std::vector<ServiceTarget> ordered;
  ordered.reserve(targets.size());
  auto group_begin = targets.begin();
  while (group_begin != targets.end()) {
    const auto group_end = std::find_if(group_begin, targets.end(), [&](const ServiceTarget& target) {
      return target.Priority != group_begin->Priority;
    });
    std::vector<ServiceTarget> group(std::make_move_iterator(group_begin), std::make_move_iterator(group_end));
    std::stable_partition(group.begin(), group.end(), [](const ServiceTarget& target) { return target.Weight == 0; });
    while (!group.empty()) {
      std::uint32_t sum = 0;
      for (const ServiceTarget& target : group) sum += target.Weight;
      const std::uint32_t drawn = std::min(draw(sum), sum);
      std::uint32_t running = 0;
      auto chosen = group.begin();
      for (; chosen != group.end(); ++chosen) {
        running += chosen->Weight;
        if (running >= drawn) break;
      }
      if (chosen == group.end()) chosen = group.begin();
      ordered.push_back(std::move(*chosen));
      group.erase(chosen);
    }
    group_begin = group_end;
  }
  return ordered;
}

std::uint32_t DrawAtRandom(std::uint32_t most) {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<std::uint32_t>(0, most)(generator);
}

SrvLookup LookUpSrvRecords(const std::string& name, int timeout_seconds, std::vector<ServiceTarget>& targets,
                           std::string& reason) {
  ResolverState resolver;
  if (!resolver.Open()) {
    reason = "the DNS resolver cannot be set up (resolv.conf)";
    return SrvLookup::kFailed;
  }
  res_state state = resolver.Get();
  // Each try waits at most the time limit, and a server is tried at most
  // twice: a dead DNS server costs a bounded time.
  state->retrans = std::max(1, std::min(state->retrans, timeout_seconds));
  state->retry = std::max(1, std::min(state->retry, 2));
  // Room for more than 512 bytes over UDP; a truncated answer is asked
  // again over TCP by the resolver itself.
  state->options |= RES_USE_EDNS0;
  std::vector<unsigned char> answer(NS_MAXMSG);
  const int length = res_nquery(state, name.c_str(), ns_c_in, ns_t_srv, answer.data(), static_cast<int>(answer.size()));
  if (length < 0) {
    switch (state->res_h_errno) {
      case HOST_NOT_FOUND:
      case NO_DATA:
        reason = "DNS has no SRV record " + name;
        return SrvLookup::kNone;
      case TRY_AGAIN:
        reason = "no DNS server answered the lookup of " + name;
        return SrvLookup::kFailed;
      default:
        reason = "the DNS lookup of " + name + " failed (" + hstrerror(state->res_h_errno) + ")";
        return SrvLookup::kFailed;
    }
  }
  if (static_cast<std::size_t>(length) > answer.size()) {
    reason = "the DNS answer for " + name + " is larger than a DNS message can be";
    return SrvLookup::kFailed;
  }
  std::vector<ServiceTarget> found;
  std::string fault;
  if (!ParseSrvAnswer(std::span(answer).first(static_cast<std::size_t>(length)), found, fault)) {
    reason = fault + " (" + name + ")";
    return SrvLookup::kFailed;
  }
  if (found.empty()) {
    reason = "DNS names no domain controller in the SRV records " + name;
    return SrvLookup::kNone;
  }
  targets = InOrderOfUse(std::move(found), DrawAtRandom);
  return SrvLookup::kFound;
}

std::vector<std::string> DnsSearchDomains() {
  ResolverState resolver;
  std::vector<std::string> domains;
  if (!resolver.Open()) return domains;
  for (char** domain = resolver.Get()->dnsrch; *domain != nullptr && domains.size() < MAXDNSRCH; ++domain) {
    domains.emplace_back(*domain);
  }
  return domains;
}

}  // namespace discovery::ldap
