// What a directory server, a DNS server or a ticket cache hands the Active
// Directory source, checked before it is used: every value comes from
// outside.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace discovery::ldap {

// A DNS name as Active Directory uses them: labels of 1 to 63 letters,
// digits, hyphens or underscores, separated by dots, at most 253 bytes in
// all (a trailing dot, the root, is accepted and not counted).
bool IsDnsName(std::string_view name);

// The name without its trailing dot, if it has one.
std::string_view WithoutRootDot(std::string_view name);

// A computer name that a discovery source may hand back: 1 to
// discovery::kMaxNameBytes bytes of valid UTF-8, with no control
// character (C0, DEL, C1), and no backslash or slash, which would make
// \\NAME a path.
bool IsComputerName(std::string_view name);

// A domain's NetBIOS name: 1 to 15 bytes, no control character, none of
// the characters that NetBIOS domain names exclude (\ / : * ? " < > | and
// the comma, equals, plus, semicolon and brackets), not starting with a dot.
bool IsNetbiosDomainName(std::string_view name);

// The NetBIOS name that Windows derives from a DNS domain name where none
// is recorded: its first label in capitals, cut to 15 bytes.
std::string DerivedNetbiosName(std::string_view dns_domain);

// `value` as an LDAP search filter may hold it (RFC 4515): *, (, ), \ and
// NUL written as \2a, \28, \29, \5c and \00.
std::string EscapedFilterValue(std::string_view value);

// The container name of a domain's computers: the crossRef's nETBIOSName
// where the directory gave a valid one, else the NetBIOS name that the
// credentials named, else the name derived from the DNS domain.
std::string ChosenContainerName(const std::optional<std::string>& recorded, std::string_view named,
                                std::string_view dns_domain);

}  // namespace discovery::ldap
