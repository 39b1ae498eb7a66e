#include "platform/discovery/ldap/directory_values.h"

#include "platform/discovery/discovery_source.h"
#include "platform/lan/utf16_text.h"

namespace discovery::ldap {
namespace {

constexpr std::size_t kMaxDnsNameBytes = 253;
constexpr std::size_t kMaxLabelBytes = 63;
constexpr std::size_t kMaxNetbiosBytes = 15;

bool IsLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

}  // namespace

std::string_view WithoutRootDot(std::string_view name) {
  if (name.ends_with('.')) name.remove_suffix(1);
  return name;
}

bool IsDnsName(std::string_view name) {
  name = WithoutRootDot(name);
  if (name.empty() || name.size() > kMaxDnsNameBytes) return false;
  std::size_t label = 0;
  for (const char c : name) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (!IsLabelCharacter(c) || ++label > kMaxLabelBytes) {
      return false;
    }
  }
  return label != 0;
}

bool IsComputerName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes || !lan::IsUtf8(name)) return false;
  for (std::size_t at = 0; at < name.size();) {
    std::size_t length = 0;
    const char32_t code = lan::DecodeUtf8(name, at, length);
    if (IsControl(code) || code == U'\\' || code == U'/') return false;
    at += length;
  }
  return true;
}

bool IsNetbiosDomainName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNetbiosBytes || name.front() == '.') return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
    if (std::string_view(R"(\/:*?"<>|,=+;[])").find(c) != std::string_view::npos) return false;
  }
  return lan::IsUtf8(name);
}

std::string DerivedNetbiosName(std::string_view dns_domain) {
  std::string name(WithoutRootDot(dns_domain).substr(0, WithoutRootDot(dns_domain).find('.')));
  if (name.size() > kMaxNetbiosBytes) name.resize(kMaxNetbiosBytes);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

std::string EscapedFilterValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(value.size());
  for (const char c : value) {
    if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
      const auto byte = static_cast<unsigned char>(c);
      escaped += '\\';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string ChosenContainerName(const std::optional<std::string>& recorded, std::string_view named,
                                std::string_view dns_domain) {
  if (recorded && IsNetbiosDomainName(*recorded)) return *recorded;
  if (IsNetbiosDomainName(named)) return std::string(named);
  return DerivedNetbiosName(dns_domain);
}

}  // namespace discovery::ldap
