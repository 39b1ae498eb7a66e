#include "platform/discovery/discovery_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace discovery {
namespace {

TEST(DiscoverySettings, SourcesAreNamedByWordsSeparatedByCommasOrBlanks) {
  EXPECT_EQ(ParseSources("browse"), (ChosenSources{true, false, false, false}));
  EXPECT_EQ(ParseSources(" WSD, ad\thosts,"), (ChosenSources{false, true, true, true}));
  for (const char* wrong : {"", " , ", "browse,wins", "browse;wsd"}) EXPECT_FALSE(ParseSources(wrong)) << wrong;
}

TEST(DiscoverySettings, SmbNameNarrowsTheNetworkToOneWorkgroup) {
  struct Case {
    const char* lan;
    bool valid;
    std::optional<std::string> only;
  };
  const Case cases[] = {
      {"smb://", true, std::nullopt},       {"SMB://Office", true, "Office"},   {"smb://OFFICE/", true, "OFFICE"},
      {"smb:///", false, std::nullopt},     {"smb://A/B", false, std::nullopt}, {"smb://A\\B", false, std::nullopt},
      {"smb://A\x1b", false, std::nullopt}, {"/srv/lan", false, std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<std::string> only = "unchanged";
    EXPECT_EQ(ParseNarrowing(c.lan, only), c.valid) << c.lan;
    if (c.valid) {
      EXPECT_EQ(only, c.only) << c.lan;
    }
  }
}

// Sets the discovery variables for one case, and clears them after it.
class Environment {
 public:
  Environment(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const char* name : kNames) ::unsetenv(name);
    for (const auto& [name, value] : values) ::setenv(name, value, 1);
  }
  ~Environment() {
    for (const char* name : kNames) ::unsetenv(name);
  }

 private:
  static constexpr const char* kNames[] = {kLanVariable, kSourcesVariable, kHostsVariable, kHostsFileVariable,
                                           kHostsGroupVariable};
};

TEST(DiscoverySettings, WrongValuesAreReportedAndTheirDefaultsApply) {
  struct Case {
    std::initializer_list<std::pair<const char*, const char*>> values;
    ChosenSources sources;
    std::optional<std::string> only;
    const char* group;
    const char* messages;
  };
  const Case cases[] = {
      {{{kLanVariable, "smb://"}}, {true, true, true, false}, std::nullopt, "WORKGROUP", ""},
      // A host list adds the host list to the default sources.
      {{{kLanVariable, "smb://LAB"}, {kHostsVariable, "atlas"}, {kHostsGroupVariable, "HQ"}},
       {true, true, true, true},
       "LAB",
       "HQ",
       ""},
      {{{kLanVariable, "smb://a/b"}, {kSourcesVariable, "browse,wins"}, {kHostsGroupVariable, "A\\B"}},
       {true, true, true, false},
       std::nullopt,
       "WORKGROUP",
       "kestrova: KESTROVA_LAN=\"smb://a/b\" names no workgroup or domain (smb://NAME); the whole network is listed\n"
       "kestrova: KESTROVA_DISCOVERY=\"browse,wins\" is not a list of the sources browse, wsd, ad and hosts; the "
       "default applies (browse, wsd, ad, and hosts where a host list is given)\n"
       "kestrova: KESTROVA_HOSTS_GROUP=\"A\\B\" is no workgroup name; the default WORKGROUP applies\n"},
      {{{kSourcesVariable, "hosts"}},
       {false, false, false, true},
       std::nullopt,
       "WORKGROUP",
       "kestrova: KESTROVA_DISCOVERY names hosts, but neither KESTROVA_HOSTS nor KESTROVA_HOSTS_FILE gives a host "
       "list\n"},
      // A host list that the chosen sources leave out is said to be unused.
      {{{kSourcesVariable, "wsd"}, {kHostsVariable, "atlas"}},
       {false, true, false, false},
       std::nullopt,
       "WORKGROUP",
       "kestrova: KESTROVA_DISCOVERY leaves out hosts: the host list of KESTROVA_HOSTS is not used\n"},
  };
  for (const Case& c : cases) {
    const Environment environment(c.values);
    std::ostringstream diagnostics;
    const DiscoverySettings settings = DiscoverySettingsFromEnvironment(diagnostics);
    EXPECT_EQ(settings.Sources, c.sources) << c.messages;
    EXPECT_EQ(settings.OnlyContainer, c.only) << c.messages;
    EXPECT_EQ(settings.HostsGroup, c.group) << c.messages;
    EXPECT_EQ(diagnostics.str(), c.messages);
  }
}

}  // namespace
}  // namespace discovery
