#include "platform/discovery/ldap/directory_values.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/discovery/discovery_source.h"

namespace discovery::ldap {
namespace {

TEST(DirectoryValues, DnsNames) {
  const std::string label63(63, 'a');
  std::string longest;
  while (longest.size() + 64 <= 253) longest += label63 + ".";
  longest += std::string(253 - longest.size(), 'b');
  struct Case {
    std::string name;
    bool valid;
  };
  const Case cases[] = {
      {"dc1.kestrova.test", true},
      {"DC1.Kestrova.Test.", true},
      {"host_with-underscore.example", true},
      {"single", true},
      {label63 + ".x", true},
      {std::string(64, 'a') + ".x", false},
      {longest, true},
      {longest + "b", false},
      {"", false},
      {".", false},
      {"a..b", false},
      {".a", false},
      {"a b.test", false},
      {"a\\b.test", false},
      {"ex\xC3\xA4mple.test", false},
      {std::string("a\0b", 3), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsDnsName(c.name), c.valid) << c.name;
}

TEST(DirectoryValues, ComputerNamesFollowTheDiscoveryRules) {
  struct Case {
    std::string name;
    bool valid;
  };
  const Case cases[] = {
      {"WKS-01", true},
      {"K\xC3\xBC"
       "che",
       true},
      {std::string(kMaxNameBytes, 'n'), true},
      {std::string(kMaxNameBytes + 1, 'n'), false},
      {"", false},
      {"A\x1B[2J", false},
      {"A\x7F", false},
      {"A\xC2\x85", false},  // NEL, a C1 control
      {"A\xC3", false},      // cut short
      {"A\\B", false},
      {"A/B", false},
      {std::string("A\0B", 3), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsComputerName(c.name), c.valid) << c.name;
}

TEST(DirectoryValues, NetbiosDomainNames) {
  struct Case {
    std::string name;
    bool valid;
  };
  const Case cases[] = {
      {"KESTROVA", true}, {"OFFICE-2", true}, {"FIFTEEN-CHARSXX", true}, {"SIXTEEN-CHARSXXX", false},
      {"", false},        {".DOM", false},    {"DOM\\X", false},         {"DOM*", false},
      {"A,B", false},     {"A\tB", false},    {"A\xFF", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsNetbiosDomainName(c.name), c.valid) << c.name;
}

TEST(DirectoryValues, TheContainerIsTheRecordedNameThenTheNamedThenTheDerived) {
  struct Case {
    std::optional<std::string> recorded;
    const char* named;
    const char* dns;
    const char* chosen;
  };
  const Case cases[] = {
      {"KESTROVA", "OTHER", "kestrova.test", "KESTROVA"},
      {std::nullopt, "OFFICE", "kestrova.test", "OFFICE"},
      {std::nullopt, "", "corp.example.com", "CORP"},
      {"BAD\x07NAME", "", "corp.example.com", "CORP"},
      {"WAY-TOO-LONG-A-NAME", "", "a-very-long-first-label.example", "A-VERY-LONG-FIR"},
      {"", "", "x.y.", "X"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChosenContainerName(c.recorded, c.named, c.dns), c.chosen) << c.recorded.value_or("(none)");
  }
}

TEST(DirectoryValues, FilterValuesAreEscaped) {
  EXPECT_EQ(EscapedFilterValue("DC=kestrova,DC=test"), "DC=kestrova,DC=test");
  EXPECT_EQ(EscapedFilterValue(std::string("a*(b)\\c\0d", 9)), "a\\2a\\28b\\29\\5cc\\00d");
}

}  // namespace
}  // namespace discovery::ldap
