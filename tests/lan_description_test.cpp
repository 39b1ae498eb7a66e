#include "platform/standin/lan_description.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using standin::LanDescription;
using standin::NetworkRecord;

struct Parsed {
  std::optional<LanDescription> Description;
  std::string Messages;
};

Parsed Parse(const std::string& text) {
  std::ostringstream messages;
  Parsed parsed;
  parsed.Description = standin::ParseLanDescription(text, "/lan/lan.json", messages);
  parsed.Messages = messages.str();
  return parsed;
}

std::vector<std::string> RemoteNames(const std::vector<NetworkRecord>& records) {
  std::vector<std::string> names;
  for (const NetworkRecord& record : records) names.push_back(record.RemoteName.value_or("(null)"));
  return names;
}

TEST(LanDescriptionTest, ShorthandsGiveTheUsualRecords) {
  const Parsed parsed = Parse(R"({
    "Children": [
      { "Network": "Microsoft Windows Network", "Children": [
        { "Workgroup": "OFFICE", "Children": [ "ATLAS", { "Server": "BOREAS", "Comment": "print room" } ] },
        { "Domain": "LAB", "Provider": "Lab Provider", "Children": [ "CASSINI" ] }
      ] },
      { "Network": "Other Network" }
    ]
  })");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Messages, "");
  const LanDescription& description = *parsed.Description;
  EXPECT_TRUE(description.HasHierarchy);
  ASSERT_EQ(RemoteNames(description.Top.Children), (std::vector<std::string>{"Microsoft Windows Network", "Other Network"}));

  const NetworkRecord& network = description.Top.Children[0];
  EXPECT_EQ(network.DisplayType, RESOURCEDISPLAYTYPE_NETWORK);
  EXPECT_EQ(network.Usage, RESOURCEUSAGE_CONTAINER);
  EXPECT_EQ(network.Provider, "Microsoft Windows Network");
  EXPECT_EQ(network.Origin, "/lan/lan.json:3");
  EXPECT_EQ(description.Top.Children[1].Provider, "Other Network");

  const NetworkRecord& office = network.Children[0];
  EXPECT_EQ(office.RemoteName, "OFFICE");
  EXPECT_EQ(office.DisplayType, RESOURCEDISPLAYTYPE_DOMAIN);
  EXPECT_EQ(office.Usage, RESOURCEUSAGE_CONTAINER);
  EXPECT_EQ(office.Provider, "Microsoft Windows Network");
  ASSERT_EQ(RemoteNames(office.Children), (std::vector<std::string>{"\\\\ATLAS", "\\\\BOREAS"}));
  for (const NetworkRecord& server : office.Children) {
    EXPECT_EQ(server.Scope, RESOURCE_GLOBALNET);
    EXPECT_EQ(server.Type, RESOURCETYPE_ANY);
    EXPECT_EQ(server.DisplayType, RESOURCEDISPLAYTYPE_SERVER);
    EXPECT_EQ(server.Usage, RESOURCEUSAGE_CONTAINER);
    EXPECT_EQ(server.Provider, "Microsoft Windows Network");
    EXPECT_FALSE(server.LocalName);
  }
  EXPECT_FALSE(office.Children[0].Comment);
  EXPECT_EQ(office.Children[1].Comment, "print room");

  const NetworkRecord& lab = network.Children[1];
  EXPECT_EQ(lab.DisplayType, RESOURCEDISPLAYTYPE_DOMAIN);
  EXPECT_EQ(lab.Provider, "Lab Provider");
  ASSERT_EQ(lab.Children.size(), 1u);
  EXPECT_EQ(lab.Children[0].Provider, "Lab Provider");
}

TEST(LanDescriptionTest, EveryFieldByNameOrNumberAndNullNames) {
  const Parsed parsed = Parse(R"({
    "Children": [
      { "Scope": "Remembered", "Type": "disk", "DisplayType": "share", "Usage": ["connectable", "attached"],
        "LocalName": "Z:", "RemoteName": "\\\\ATLAS\\Public", "Comment": "", "Provider": null },
      { "Scope": 5, "Type": 2, "DisplayType": 11, "Usage": 4294967295 },
      { "Workgroup": null, "Usage": 0, "DisplayType": "NDSContainer", "Type": "unknown" }
    ]
  })");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Messages, "");
  const std::vector<NetworkRecord>& records = parsed.Description->Top.Children;
  ASSERT_EQ(records.size(), 3u);

  EXPECT_EQ(records[0].Scope, RESOURCE_REMEMBERED);
  EXPECT_EQ(records[0].Type, RESOURCETYPE_DISK);
  EXPECT_EQ(records[0].DisplayType, RESOURCEDISPLAYTYPE_SHARE);
  EXPECT_EQ(records[0].Usage, RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_ATTACHED);
  EXPECT_EQ(records[0].LocalName, "Z:");
  EXPECT_EQ(records[0].RemoteName, "\\\\ATLAS\\Public");
  EXPECT_EQ(records[0].Comment, "");
  EXPECT_FALSE(records[0].Provider);

  EXPECT_EQ(records[1].Scope, RESOURCE_CONTEXT);
  EXPECT_EQ(records[1].Type, RESOURCETYPE_PRINT);
  EXPECT_EQ(records[1].DisplayType, RESOURCEDISPLAYTYPE_NDSCONTAINER);
  EXPECT_EQ(records[1].Usage, 0xFFFFFFFFu);
  EXPECT_FALSE(records[1].RemoteName);
  // A record that names no provider takes the top level's.
  EXPECT_EQ(records[1].Provider, standin::kWindowsNetworkProvider);

  EXPECT_FALSE(records[2].RemoteName);
  EXPECT_EQ(records[2].Usage, 0u);
  EXPECT_EQ(records[2].Type, RESOURCETYPE_UNKNOWN);
}

TEST(LanDescriptionTest, FaultsOfLevelsAndComputers) {
  const Parsed parsed = Parse(R"({
    "OpenError": 1222, "EnumError": 59, "EnumErrorAfterBatches": 2, "MaxRecordsPerBatch": 5,
    "Children": [ { "Workgroup": "SLOW", "MaxRecordsPerBatch": 1, "OpenError": 5, "Children": ["ATLAS"] } ],
    "Computers": {
      "\\\\ATLAS": { "ConnectError": 53 },
      "BOREAS": { "DeniedKeys": [ "HKEY_LOCAL_MACHINE\\Software\\Locked\\", "\\Software\\Other", "hklm\\Third" ],
                  "FailingValues": [ { "Key": "Software\\App", "Value": "DisplayName" },
                                     { "Key": "HKLM\\Software\\Two", "Value": "", "Error": 1117 } ] },
      "CASSINI": null,
      "DEIMOS": {}
    }
  })");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Messages, "");
  const LanDescription& description = *parsed.Description;
  EXPECT_EQ(description.Top.OpenError, 1222u);
  EXPECT_EQ(description.Top.EnumError, 59u);
  EXPECT_EQ(description.Top.EnumErrorAfterBatches, 2);
  EXPECT_EQ(description.Top.MaxRecordsPerBatch, 5u);
  const NetworkRecord& slow = description.Top.Children.at(0);
  EXPECT_EQ(slow.MaxRecordsPerBatch, 1u);
  EXPECT_EQ(slow.OpenError, 5u);
  EXPECT_FALSE(slow.EnumError);

  const std::vector<standin::Computer>& computers = description.Computers;
  ASSERT_EQ(computers.size(), 4u);
  EXPECT_EQ(computers[0].Name, "ATLAS");
  EXPECT_EQ(computers[0].ConnectError, 53u);
  EXPECT_TRUE(computers[0].RegistryFile.empty());
  EXPECT_EQ(computers[1].Name, "BOREAS");
  EXPECT_FALSE(computers[1].ConnectError);
  EXPECT_EQ(computers[1].DeniedKeys, (std::vector<std::string>{"Software\\Locked", "Software\\Other", "Third"}));
  ASSERT_EQ(computers[1].FailingValues.size(), 2u);
  EXPECT_EQ(computers[1].FailingValues[0].KeyPath, "Software\\App");
  EXPECT_EQ(computers[1].FailingValues[0].ValueName, "DisplayName");
  EXPECT_EQ(computers[1].FailingValues[0].Error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(computers[1].FailingValues[1].KeyPath, "Software\\Two");
  EXPECT_EQ(computers[1].FailingValues[1].ValueName, "");
  EXPECT_EQ(computers[1].FailingValues[1].Error, 1117u);
  EXPECT_EQ(computers[2].Name, "CASSINI");
  EXPECT_EQ(computers[3].Name, "DEIMOS");
}

TEST(LanDescriptionTest, WithoutChildrenTheDescriptionGivesNoHierarchy) {
  const Parsed parsed = Parse(R"({ "MaxRecordsPerBatch": 3, "Computers": { "ATLAS": { "ConnectError": 53 } } })");
  ASSERT_TRUE(parsed.Description);
  EXPECT_FALSE(parsed.Description->HasHierarchy);
  EXPECT_EQ(parsed.Description->Top.MaxRecordsPerBatch, 3u);

  const Parsed empty_network = Parse(R"({ "Children": [] })");
  ASSERT_TRUE(empty_network.Description);
  EXPECT_TRUE(empty_network.Description->HasHierarchy);
  EXPECT_TRUE(empty_network.Description->Top.Children.empty());
}

// Each mistake is reported with its line, and only the element that holds
// it is left out: the records named in `kept` remain at the top level.
TEST(LanDescriptionTest, MistakesAreReportedWithTheirLineAndTheirElementLeftOut) {
  struct Case {
    const char* records;  // the top level's records, from line 3 on
    const char* message;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {R"("ATLAS",
{ "Server": "BOREAS",
  "DisplayType": "sever" },
"CASSINI")",
       "kestrova: /lan/lan.json:5: unknown display type \"sever\"\n", {"\\\\ATLAS", "\\\\CASSINI"}},
      {R"({ "Server": "ATLAS", "Coment": "x" }, "BOREAS")", "kestrova: /lan/lan.json:3: unknown field \"Coment\" in a record\n",
       {"\\\\BOREAS"}},
      {R"("ATLAS", { "Server": "BOREAS",
  "Comment": "a",
  "Comment": "b" })",
       "kestrova: /lan/lan.json:5: field \"Comment\" given twice\n", {"\\\\ATLAS"}},
      {R"({ "Workgroup": "W", "Server": "X" }, "ATLAS")",
       "kestrova: /lan/lan.json:3: a record is one of Network, Workgroup, Domain and Server, not both Workgroup and "
       "Server\n",
       {"\\\\ATLAS"}},
      {R"({ "Workgroup": "W", "OpenError": 0 })",
       "kestrova: /lan/lan.json:3: OpenError must be a whole number from 1 to 4294967295, not the number 0\n", {}},
      {R"({ "Workgroup": "W", "EnumError": -5 })",
       "kestrova: /lan/lan.json:3: EnumError must be a whole number from 1 to 4294967295, not the number -5\n", {}},
      {R"({ "Workgroup": "W", "MaxRecordsPerBatch": 0 })",
       "kestrova: /lan/lan.json:3: MaxRecordsPerBatch must be a whole number from 1 to 4294967295, not the number 0\n",
       {}},
      {R"({ "Workgroup": "W", "EnumErrorAfterBatches": 1.5 })",
       "kestrova: /lan/lan.json:3: EnumErrorAfterBatches must be a whole number from 0 to 2147483647, not the number "
       "1.5\n",
       {}},
      {R"({ "Workgroup": "W", "Usage": 4294967296 })",
       "kestrova: /lan/lan.json:3: a usage must be a name or a number from 0 to 4294967295, not the number "
       "4294967296\n",
       {}},
      {R"({ "Workgroup": "W", "Usage": ["container", "sometimes"] })",
       "kestrova: /lan/lan.json:3: unknown usage \"sometimes\"\n", {}},
      {R"({ "Workgroup": "W", "Scope": true })",
       "kestrova: /lan/lan.json:3: a scope must be a name or a number from 0 to 4294967295, not true\n", {}},
      {R"({ "Workgroup": "W", "Type": "folder" })", "kestrova: /lan/lan.json:3: unknown type \"folder\"\n", {}},
      {R"({ "Workgroup": "W", "Children": "ATLAS" })",
       "kestrova: /lan/lan.json:3: Children must be an array, not a string\n", {}},
      {R"(42, "ATLAS")",
       "kestrova: /lan/lan.json:3: a record must be an object or a server's computer name, not the number 42\n",
       {"\\\\ATLAS"}},
      {R"("", "ATLAS")", "kestrova: /lan/lan.json:3: a server's computer name must not be empty\n", {"\\\\ATLAS"}},
      {R"({ "Server": null })", "kestrova: /lan/lan.json:3: Server must be a string, not null\n", {}},
      {R"({ "Workgroup": "W", "RemoteName": "A\u0000B" })", "kestrova: /lan/lan.json:3: RemoteName holds a NUL character\n",
       {}},
      {R"({ "Workgroup": "W", "Provider": 7 })",
       "kestrova: /lan/lan.json:3: Provider must be a string or null, not the number 7\n", {}},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(std::string("{\n\"Children\": [\n") + c.records + "\n]\n}\n");
    ASSERT_TRUE(parsed.Description) << c.records;
    EXPECT_EQ(parsed.Messages, c.message) << c.records;
    EXPECT_EQ(RemoteNames(parsed.Description->Top.Children), c.kept) << c.records;
  }
}

TEST(LanDescriptionTest, ChildWithAMistakeLeavesItsContainerInPlace) {
  const Parsed parsed = Parse("{ \"Children\": [ { \"Workgroup\": \"W\", \"Children\": [\n"
                              "  \"ATLAS\",\n"
                              "  { \"Server\": \"BOREAS\", \"OpenError\": \"often\" } ] } ] }");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Messages,
            "kestrova: /lan/lan.json:3: OpenError must be a whole number from 1 to 4294967295, not a string\n");
  ASSERT_EQ(parsed.Description->Top.Children.size(), 1u);
  EXPECT_EQ(RemoteNames(parsed.Description->Top.Children[0].Children), std::vector<std::string>{"\\\\ATLAS"});
}

TEST(LanDescriptionTest, MistakesInComputersLeaveOutTheEntry) {
  const Parsed parsed = Parse(R"({
  "Computers": {
    "ATLAS": { "ConnectError": "never" },
    "BOREAS": { "ConnectError": 53 },
    "boreas": {},
    "CASSINI": { "DeniedKeys": "Software" },
    "DEIMOS": { "FailingValues": [ { "Key": "Software\\A" },
                                   { "Key": "Software\\B", "Value": "V", "Colour": 1 },
                                   { "Key": "Software\\C", "Value": "V" } ] },
    "": {},
    "EUROPA": { "Rights": "none" },
    "FOBOS": [],
    "GANYMEDE": { "DeniedKeys": [ 5 ] }
  },
  "Colour": "blue",
  "OpenError": "sometimes",
  "Computers": {}
})");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Messages,
            "kestrova: /lan/lan.json:3: ConnectError must be a whole number from 1 to 4294967295, not a string\n"
            "kestrova: /lan/lan.json:5: computer \"boreas\" given twice; the second is left out\n"
            "kestrova: /lan/lan.json:6: DeniedKeys must be an array of key paths, not a string\n"
            "kestrova: /lan/lan.json:7: a failing value needs both Key and Value\n"
            "kestrova: /lan/lan.json:8: unknown field \"Colour\" of a failing value\n"
            "kestrova: /lan/lan.json:10: a computer needs a name without NUL characters, not \"\"\n"
            "kestrova: /lan/lan.json:11: unknown field \"Rights\" of computer \"EUROPA\"\n"
            "kestrova: /lan/lan.json:12: computer \"FOBOS\" must be described by an object or null, not an array\n"
            "kestrova: /lan/lan.json:13: a denied key must be a string, not the number 5\n"
            "kestrova: /lan/lan.json:15: unknown field \"Colour\" at the top\n"
            "kestrova: /lan/lan.json:16: OpenError must be a whole number from 1 to 4294967295, not a string\n"
            "kestrova: /lan/lan.json:17: field \"Computers\" given twice; the second is left out\n");
  const std::vector<standin::Computer>& computers = parsed.Description->Computers;
  ASSERT_EQ(computers.size(), 2u);
  EXPECT_EQ(computers[0].Name, "BOREAS");
  EXPECT_EQ(computers[0].ConnectError, 53u);
  EXPECT_EQ(computers[1].Name, "DEIMOS");
  ASSERT_EQ(computers[1].FailingValues.size(), 1u);
  EXPECT_EQ(computers[1].FailingValues[0].KeyPath, "Software\\C");
  EXPECT_FALSE(parsed.Description->Top.OpenError);
}

TEST(LanDescriptionTest, TextThatIsNoJsonObjectGivesNoDescription) {
  struct Case {
    const char* text;
    int line;
  };
  const Case cases[] = {
      {"", 1},
      {"{\n  \"Children\": [\n    \"ATLAS\"\n    \"BOREAS\"\n  ]\n}\n", 4},
      {"{\n  \"Children\": [ \"ATLAS\" ]\n", 3},
      {"{ \"Children\": [ \"AT\nLAS\" ] }", 1},
      {"{}\n{}", 2},
      {"[ \"ATLAS\" ]", 1},
      {"\n\n\"ATLAS\"", 3},
      {"{ \"A\": 1, }", 1},
      {"{ \"A\": \"\xC3\x28\" }", 1},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.text);
    EXPECT_FALSE(parsed.Description) << c.text;
    const std::string prefix = "kestrova: /lan/lan.json:" + std::to_string(c.line) + ": ";
    EXPECT_EQ(parsed.Messages.rfind(prefix, 0), 0u) << parsed.Messages;
    EXPECT_NE(parsed.Messages.find("; the directory's plain layout is used instead\n"), std::string::npos)
        << parsed.Messages;
    EXPECT_EQ(parsed.Messages.find('\n'), parsed.Messages.size() - 1) << "one line: " << parsed.Messages;
  }
}

// Found by the fuzzer: a name with a line break made a message of two
// lines. Quoted names are escaped as in JSON.
TEST(LanDescriptionTest, MessagesStayOnOneLine) {
  const Parsed parsed = Parse("{ \"Childr\\n\": [],\n"
                              "  \"Children\": [ { \"Server\": \"A\", \"DisplayType\": \"ser\\rver\\u0001\" } ],\n"
                              "  \"Computers\": { \"B\\\\C\\t\": 1 } }");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Messages,
            "kestrova: /lan/lan.json:1: unknown field \"Childr\\n\" at the top\n"
            "kestrova: /lan/lan.json:2: unknown display type \"ser\\rver\\u0001\"\n"
            "kestrova: /lan/lan.json:3: computer \"B\\\\C\\t\" must be described by an object or null, not the "
            "number 1\n");
}

TEST(LanDescriptionTest, DeepNestingIsRefusedNotRecursedInto) {
  std::string text = "{\"Children\":";
  for (int i = 0; i < 100000; ++i) text += "[";
  const Parsed parsed = Parse(text);
  EXPECT_FALSE(parsed.Description);
  EXPECT_NE(parsed.Messages.find("nested deeper than"), std::string::npos) << parsed.Messages;
}

}  // namespace
