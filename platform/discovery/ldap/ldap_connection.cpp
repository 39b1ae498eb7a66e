#include "platform/discovery/ldap/ldap_connection.h"

#include <ldap.h>
#include <sasl/sasl.h>

#include <algorithm>
#include <cstring>

#include "platform/lan/visible_text.h"

namespace discovery::ldap {
namespace {

using Clock = std::chrono::steady_clock;

// The most of a server's diagnostic message that a message quotes.
constexpr std::size_t kMaxDiagnosticBytes = 200;

timeval TimevalOf(std::chrono::milliseconds span) {
  const auto milliseconds = std::max<std::int64_t>(span.count(), 1);
  return timeval{static_cast<time_t>(milliseconds / 1000), static_cast<suseconds_t>((milliseconds % 1000) * 1000)};
}

// Frees a message however a step ends.
class Message {
 public:
  explicit Message(LDAPMessage* message) : message_(message) {}
  ~Message() {
    if (message_ != nullptr) ldap_msgfree(message_);
  }
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

 private:
  LDAPMessage* message_;
};

// GSSAPI asks for nothing that the ticket does not give; any question
// (an authorization identity) gets its default, or nothing.
int AnswerNothing(LDAP* /*connection*/, unsigned /*flags*/, void* /*defaults*/, void* questions) {
  for (auto* question = static_cast<sasl_interact_t*>(questions); question->id != SASL_CB_LIST_END; ++question) {
    const char* answer = question->defresult != nullptr ? question->defresult : "";
    question->result = answer;
    question->len = static_cast<unsigned>(std::strlen(answer));
  }
  return LDAP_SUCCESS;
}

int ScopeOf(Scope scope) {
  switch (scope) {
    case Scope::kBase:
      return LDAP_SCOPE_BASE;
    case Scope::kOneLevel:
      return LDAP_SCOPE_ONELEVEL;
    case Scope::kSubtree:
      return LDAP_SCOPE_SUBTREE;
  }
  return LDAP_SCOPE_BASE;
}

}  // namespace

std::optional<std::string> SearchEntry::First(const char* attribute, bool* too_long) const {
  if (too_long != nullptr) *too_long = false;
  berval** values = ldap_get_values_len(connection_, message_, attribute);
  if (values == nullptr) return std::nullopt;
  std::optional<std::string> first;
  if (values[0] != nullptr) {
    if (values[0]->bv_len > kMaxValueBytes) {
      if (too_long != nullptr) *too_long = true;
    } else {
      first.emplace(values[0]->bv_val, values[0]->bv_len);
    }
  }
  ldap_value_free_len(values);
  return first;
}

std::unique_ptr<LdapConnection> LdapConnection::Open(const LdapServer& server,
                                                     std::chrono::milliseconds operation_limit, std::string& failure) {
  LDAP* raw = nullptr;
  if (const int code = ldap_initialize(&raw, server.Uri().c_str()); code != LDAP_SUCCESS) {
    failure = ldap_err2string(code);
    return nullptr;
  }
  std::unique_ptr<LdapConnection> connection(new LdapConnection(raw, operation_limit, server.Tls));
  const int version = LDAP_VERSION3;
  const timeval limit = TimevalOf(operation_limit);
  ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  ldap_set_option(raw, LDAP_OPT_RESTART, LDAP_OPT_ON);
  ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &limit);
  ldap_set_option(raw, LDAP_OPT_TIMEOUT, &limit);
  ldap_set_option(raw, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  // Every message the server sends is read whole before it is decoded:
  // its size is bounded before any of it is held.
  Sockbuf* socket = nullptr;
  ber_len_t most = kMaxMessageBytes;
  if (ldap_get_option(raw, LDAP_OPT_SOCKBUF, &socket) != LDAP_OPT_SUCCESS || socket == nullptr ||
      ber_sockbuf_ctrl(socket, LBER_SB_OPT_SET_MAX_INCOMING, &most) != 1) {
    failure = "the bound on the size of messages cannot be set";
    return nullptr;
  }
  if (const int code = ldap_connect(raw); code != LDAP_SUCCESS) {
    failure = connection->ErrorText(code);
    return nullptr;
  }
  return connection;
}

LdapConnection::~LdapConnection() { ldap_unbind_ext(connection_, nullptr, nullptr); }

std::string LdapConnection::ErrorText(int code) const {
  std::string text = ldap_err2string(code);
  char* diagnostic = nullptr;
  if (ldap_get_option(connection_, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS &&
      diagnostic != nullptr) {
    std::string_view said(diagnostic);
    while (!said.empty() && (said.back() == '\n' || said.back() == ' ' || said.back() == '\0')) said.remove_suffix(1);
    if (!said.empty()) {
      const bool cut = said.size() > kMaxDiagnosticBytes;
      text += ": " + lan::VisibleText(said.substr(0, kMaxDiagnosticBytes)) + (cut ? "..." : "");
    }
    ldap_memfree(diagnostic);
  }
  return text;
}

bool LdapConnection::StartTls(std::string& failure) {
  if (encrypted_) return true;
  if (const int code = ldap_start_tls_s(connection_, nullptr, nullptr); code != LDAP_SUCCESS) {
    failure = ErrorText(code);
    return false;
  }
  encrypted_ = true;
  return true;
}

bool LdapConnection::BindWithPassword(const std::string& bind_name, const std::string& password, std::string& failure) {
  if (!encrypted_) {
    failure = "the connection is not encrypted";
    return false;
  }
  // libldap reads the password where it lies.
  berval secret{static_cast<ber_len_t>(password.size()), const_cast<char*>(password.data())};
  const int code =
      ldap_sasl_bind_s(connection_, bind_name.c_str(), LDAP_SASL_SIMPLE, &secret, nullptr, nullptr, nullptr);
  if (code != LDAP_SUCCESS) {
    failure = ErrorText(code);
    return false;
  }
  return true;
}

bool LdapConnection::BindWithTicket(std::string& failure) {
  // Over TLS, Active Directory refuses a SASL layer of its own (signing or
  // sealing inside TLS); without TLS, it requires one.
  if (encrypted_) ldap_set_option(connection_, LDAP_OPT_X_SASL_SECPROPS, "maxssf=0");
  const int code = ldap_sasl_interactive_bind_s(connection_, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                                AnswerNothing, nullptr);
  if (code != LDAP_SUCCESS) {
    failure = ErrorText(code);
    if (code == LDAP_AUTH_UNKNOWN || code == LDAP_NOT_SUPPORTED) {
      failure += "; a Kerberos bind needs Cyrus SASL's GSSAPI module (Debian package libsasl2-modules-gssapi-mit)";
    }
    return false;
  }
  return true;
}

bool LdapConnection::Search(const SearchRequest& request, Clock::time_point deadline,
                            const std::function<Next(const SearchEntry&)>& on_entry, std::string& failure) {
  // What one wait may take: the operation's limit, cut by the deadline.
  const auto wait_limit = [&]() -> std::optional<timeval> {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    return TimevalOf(std::min(left, operation_limit_));
  };
  std::vector<char*> attributes;
  for (const char* attribute : request.Attributes) attributes.push_back(const_cast<char*>(attribute));
  attributes.push_back(nullptr);
  berval* cookie = nullptr;
  const auto free_cookie = [&] {
    if (cookie != nullptr) ber_bvfree(cookie);
    cookie = nullptr;
  };
  bool first_page = true;
  for (;;) {
    LDAPControl* page = nullptr;
    if (request.Paged &&
        ldap_create_page_control(connection_, kPageSize, first_page ? nullptr : cookie, 0, &page) != LDAP_SUCCESS) {
      free_cookie();
      failure = "the paged results control cannot be made";
      return false;
    }
    first_page = false;
    LDAPControl* controls[] = {page, nullptr};
    std::optional<timeval> limit = wait_limit();
    int id = 0;
    const int sent =
        limit ? ldap_search_ext(connection_, request.Base.c_str(), ScopeOf(request.Depth), request.Filter.c_str(),
                                attributes.data(), 0, page != nullptr ? controls : nullptr, nullptr, &*limit, 0, &id)
              : LDAP_TIMEOUT;
    if (page != nullptr) ldap_control_free(page);
    free_cookie();
    if (sent != LDAP_SUCCESS) {
      failure = ErrorText(sent);
      return false;
    }
    std::size_t entries_in_page = 0;
    for (bool done = false; !done;) {
      limit = wait_limit();
      LDAPMessage* raw = nullptr;
      const int type = limit ? ldap_result(connection_, id, LDAP_MSG_ONE, &*limit, &raw) : 0;
      const Message message(raw);
      if (type == 0) {
        ldap_abandon_ext(connection_, id, nullptr, nullptr);
        failure = "the server did not answer in time";
        return false;
      }
      if (type < 0) {
        int code = LDAP_OTHER;
        ldap_get_option(connection_, LDAP_OPT_RESULT_CODE, &code);
        failure = ErrorText(code);
        return false;
      }
      switch (type) {
        case LDAP_RES_SEARCH_ENTRY:
          ++entries_in_page;
          if (on_entry(SearchEntry(connection_, raw)) == Next::kStop) {
            ldap_abandon_ext(connection_, id, nullptr, nullptr);
            return true;
          }
          break;
        case LDAP_RES_SEARCH_REFERENCE:
          break;  // other partitions: not chased
        case LDAP_RES_SEARCH_RESULT: {
          int code = LDAP_SUCCESS;
          char* diagnostic = nullptr;
          LDAPControl** returned = nullptr;
          if (ldap_parse_result(connection_, raw, &code, nullptr, &diagnostic, nullptr, &returned, 0) != LDAP_SUCCESS) {
            failure = "the search's result cannot be read";
            return false;
          }
          if (diagnostic != nullptr) ldap_memfree(diagnostic);
          if (code == LDAP_SUCCESS && request.Paged && returned != nullptr) {
            if (LDAPControl* response = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, returned, nullptr)) {
              ber_int_t estimate = 0;
              berval next{0, nullptr};
              if (ldap_parse_pageresponse_control(connection_, response, &estimate, &next) == LDAP_SUCCESS &&
                  next.bv_len > 0) {
                cookie = ber_bvdup(&next);
              }
              if (next.bv_val != nullptr) ber_memfree(next.bv_val);
            }
          }
          if (returned != nullptr) ldap_controls_free(returned);
          if (code != LDAP_SUCCESS) {
            failure = ErrorText(code);
            return false;
          }
          done = true;
          break;
        }
        default:
          failure = "the server answered the search with something else";
          return false;
      }
    }
    if (cookie == nullptr) return true;
    if (entries_in_page == 0) {
      // Another page promised, with none of this one's: a server that
      // would keep the search going without end.
      free_cookie();
      failure = "the server asked for another page after a page without entries";
      return false;
    }
  }
}

}  // namespace discovery::ldap
