#include "platform/lan/lan_description.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/lan/network_dump.h"

namespace {

using lan::LanDescription;
using lan::NetworkRecord;
using testing_support::DumpComputers;
using testing_support::DumpFaults;
using testing_support::DumpNetwork;

struct Parsed {
  std::optional<LanDescription> Description;
  std::string Messages;
};

Parsed Parse(const std::string& text) {
  std::ostringstream messages;
  Parsed parsed;
  parsed.Description = lan::ParseLanDescription(text, "/lan/lan.json", messages);
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
  EXPECT_TRUE(parsed.Description->HasHierarchy);
  EXPECT_EQ(DumpNetwork(parsed.Description->Top),
            (std::vector<std::string>{
                R"(network "Microsoft Windows Network" usage=2 provider="Microsoft Windows Network")",
                R"(  domain "OFFICE" usage=2 provider="Microsoft Windows Network")",
                R"(    server "\\ATLAS" usage=2 provider="Microsoft Windows Network")",
                R"(    server "\\BOREAS" usage=2 comment="print room" provider="Microsoft Windows Network")",
                R"(  domain "LAB" usage=2 provider="Lab Provider")",
                R"(    server "\\CASSINI" usage=2 provider="Lab Provider")",
                R"(network "Other Network" usage=2 provider="Other Network")",
            }));
  EXPECT_EQ(parsed.Description->Top.Children[0].Origin, "/lan/lan.json:3");
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
  // A record that names no provider takes the top level's.
  EXPECT_EQ(DumpNetwork(parsed.Description->Top),
            (std::vector<std::string>{
                R"(share "\\ATLAS\Public" usage=17 type=1 scope=3 local="Z:" comment="" provider=null)",
                R"(ndscontainer null usage=4294967295 type=2 scope=5 provider="Microsoft Windows Network")",
                R"(ndscontainer null usage=0 type=4294967295 provider="Microsoft Windows Network")",
            }));
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
  EXPECT_EQ(DumpFaults(description.Top), " open=1222 enum=59 after 2 max=5");
  EXPECT_EQ(DumpNetwork(description.Top),
            (std::vector<std::string>{
                R"(domain "SLOW" usage=2 provider="Microsoft Windows Network" open=5 max=1)",
                R"(  server "\\ATLAS" usage=2 provider="Microsoft Windows Network")",
            }));

  EXPECT_EQ(DumpComputers(description.Computers),
            (std::vector<std::string>{
                R"(ATLAS connect=53)",
                R"(BOREAS denied=Software\Locked denied=Software\Other denied=Third )"
                R"(failing=Software\App|DisplayName|5 failing=Software\Two||1117)",
                "CASSINI",
                "DEIMOS",
            }));
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
       "kestrova: /lan/lan.json:5: unknown display type \"sever\"\n",
       {"\\\\ATLAS", "\\\\CASSINI"}},
      {R"({ "Server": "ATLAS", "Coment": "x" }, "BOREAS")",
       "kestrova: /lan/lan.json:3: unknown field \"Coment\" in a record\n",
       {"\\\\BOREAS"}},
      {R"("ATLAS", { "Server": "BOREAS",
  "Comment": "a",
  "Comment": "b" })",
       "kestrova: /lan/lan.json:5: field \"Comment\" given twice\n",
       {"\\\\ATLAS"}},
      {R"({ "Workgroup": "W", "Server": "X" }, "ATLAS")",
       "kestrova: /lan/lan.json:3: a record is one of Network, Workgroup, Domain and Server, not both Workgroup and "
       "Server\n",
       {"\\\\ATLAS"}},
      {R"({ "Workgroup": "W", "OpenError": 0 })",
       "kestrova: /lan/lan.json:3: OpenError must be a whole number from 1 to 4294967295, not the number 0\n",
       {}},
      {R"({ "Workgroup": "W", "EnumError": -5 })",
       "kestrova: /lan/lan.json:3: EnumError must be a whole number from 1 to 4294967295, not the number -5\n",
       {}},
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
       "kestrova: /lan/lan.json:3: unknown usage \"sometimes\"\n",
       {}},
      {R"({ "Workgroup": "W", "Scope": true })",
       "kestrova: /lan/lan.json:3: a scope must be a name or a number from 0 to 4294967295, not true\n",
       {}},
      {R"({ "Workgroup": "W", "Type": "folder" })", "kestrova: /lan/lan.json:3: unknown type \"folder\"\n", {}},
      {R"({ "Workgroup": "W", "Children": "ATLAS" })",
       "kestrova: /lan/lan.json:3: Children must be an array, not a string\n",
       {}},
      {R"(42, "ATLAS")",
       "kestrova: /lan/lan.json:3: a record must be an object or a server's computer name, not the number 42\n",
       {"\\\\ATLAS"}},
      {R"("", "ATLAS")", "kestrova: /lan/lan.json:3: a server's computer name must not be empty\n", {"\\\\ATLAS"}},
      {R"({ "Server": null })", "kestrova: /lan/lan.json:3: Server must be a string, not null\n", {}},
      {R"({ "Workgroup": "W", "RemoteName": "A\u0000B" })",
       "kestrova: /lan/lan.json:3: RemoteName holds a NUL character\n",
       {}},
      {R"({ "Workgroup": "W", "Provider": 7 })",
       "kestrova: /lan/lan.json:3: Provider must be a string or null, not the number 7\n",
       {}},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(std::string("{\n\"Children\": [\n") + c.records + "\n]\n}\n");
    ASSERT_TRUE(parsed.Description) << c.records;
    EXPECT_EQ(parsed.Messages, c.message) << c.records;
    EXPECT_EQ(RemoteNames(parsed.Description->Top.Children), c.kept) << c.records;
  }
}

TEST(LanDescriptionTest, ChildWithAMistakeLeavesItsContainerInPlace) {
  const Parsed parsed = Parse(
      "{ \"Children\": [ { \"Workgroup\": \"W\", \"Children\": [\n"
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
  EXPECT_EQ(DumpComputers(parsed.Description->Computers),
            (std::vector<std::string>{"BOREAS connect=53", R"(DEIMOS failing=Software\C|V|5)"}));
  EXPECT_FALSE(parsed.Description->Top.OpenError);
}

TEST(LanDescriptionTest, CodePagesByNumberOrEncodingName) {
  const Parsed parsed = Parse(R"({
  "CodePage": 1251,
  "Computers": {
    "A": { "CodePage": 932 }, "B": { "CodePage": "KOI8-R" }, "C": { "CodePage": 65001 },
    "D": { "CodePage": 0 },
    "E": { "CodePage": "two words" }
  }
})");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Description->CodePage, "CP1251");
  const auto& computers = parsed.Description->Computers;
  ASSERT_EQ(computers.size(), 3u);
  EXPECT_EQ(computers[0].CodePage, "CP932");
  EXPECT_EQ(computers[1].CodePage, "KOI8-R");
  EXPECT_EQ(computers[2].CodePage, "UTF-8");
  EXPECT_EQ(parsed.Messages,
            "kestrova: /lan/lan.json:5: CodePage must be a Windows code page number from 1 to 65535 or an encoding "
            "name, not the number 0\n"
            "kestrova: /lan/lan.json:6: CodePage must be a Windows code page number from 1 to 65535 or an encoding "
            "name, not a string\n");
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
// lines. Quoted names show their control characters as \xHH.
TEST(LanDescriptionTest, MessagesStayOnOneLine) {
  const Parsed parsed = Parse(
      "{ \"Childr\\n\": [],\n"
      "  \"Children\": [ { \"Server\": \"A\", \"DisplayType\": \"ser\\rver\\u0001\" } ],\n"
      "  \"Computers\": { \"B\\\\C\\t\": 1 } }");
  ASSERT_TRUE(parsed.Description);
  EXPECT_EQ(parsed.Messages,
            "kestrova: /lan/lan.json:1: unknown field \"Childr\\x0A\" at the top\n"
            "kestrova: /lan/lan.json:2: unknown display type \"ser\\x0Dver\\x01\"\n"
            "kestrova: /lan/lan.json:3: computer \"B\\C\\x09\" must be described by an object or null, not the "
            "number 1\n");
}

TEST(LanDescriptionTest, DeepNestingIsRefusedNotRecursedInto) {
  std::string text = "{\"Children\":";
  for (int i = 0; i < 100000; ++i) text += "[";
  const Parsed parsed = Parse(text);
  EXPECT_FALSE(parsed.Description);
  EXPECT_NE(parsed.Messages.find("nested deeper than"), std::string::npos) << parsed.Messages;
}

// All that a description describes is kept: one that describes more than
// kMaxDescribedItems elements is refused whole, whatever they are.
TEST(LanDescriptionTest, TooManyElementsAreRefusedWhole) {
  // A server, its computer and the computer's denied keys.
  std::string text = "{ \"Children\": [\"ATLAS\"],\n\"Computers\": { \"ATLAS\": { \"DeniedKeys\": [\n";
  for (std::uint64_t i = 2; i < lan::kMaxDescribedItems; ++i) text += "\"\",";
  const Parsed parsed = Parse(text + "\"\" ] } } }");
  EXPECT_FALSE(parsed.Description);
  EXPECT_EQ(parsed.Messages,
            "kestrova: /lan/lan.json:2: the description holds more than 250000 records, computers, denied keys and "
            "failing values; the directory's plain layout is used instead\n");
}

}  // namespace
