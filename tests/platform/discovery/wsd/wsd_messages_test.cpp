// The messages of WS-Discovery: what the client sends, and how it reads
// what responders send back.
#include <gtest/gtest.h>

#include <regex>

#include "platform/discovery/wsd/computer_metadata.h"
#include "platform/discovery/wsd/discovery_reply.h"
#include "platform/discovery/wsd/soap_envelopes.h"
#include "platform/discovery/wsd/wsd_protocol.h"
#include "platform/discovery/wsd/xml_document.h"
#include "tests/platform/discovery/wsd/wsd_test_messages.h"

namespace discovery::wsd {
namespace {

using testing::Form;
using testing::MatchMessage;
using testing::MatchReply;
using testing::MetadataMessage;

TEST(WsdMessages, TheProbeAsksForExactlyDevicesWithAFreshMessageId) {
  const std::string first_id = NewMessageId();
  const std::string second_id = NewMessageId();
  const std::regex uuid("urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  EXPECT_TRUE(std::regex_match(first_id, uuid)) << first_id;
  EXPECT_NE(first_id, second_id);

  std::string refusal;
  const auto probe = XmlDocument::Parse(ProbeMessage(first_id), refusal);
  ASSERT_NE(probe, nullptr) << refusal;
  const XmlNode envelope = probe->Root();
  ASSERT_TRUE(IsElement(envelope, kSoapNamespace, "Envelope"));
  const XmlNode header = FirstChild(envelope, kSoapNamespace, "Header");
  EXPECT_EQ(TrimmedText(FirstChild(header, kAddressingNamespace, "To")), kDiscoveryTo);
  EXPECT_EQ(TrimmedText(FirstChild(header, kAddressingNamespace, "Action")), kProbeAction);
  EXPECT_EQ(TrimmedText(FirstChild(header, kAddressingNamespace, "MessageID")), first_id);
  const XmlNode types =
      FirstChild(FirstChild(FirstChild(envelope, kSoapNamespace, "Body"), kDiscoveryNamespace, "Probe"),
                 kDiscoveryNamespace, "Types");
  // Exactly one type, wsdp:Device, its prefix bound to the devices
  // profile: responders ignore a probe for pub:Computer or for no type.
  EXPECT_EQ(TrimmedText(types), "wsdp:Device");
  EXPECT_TRUE(QNameIs(types, "wsdp:Device", kDevicesNamespace, "Device"));
}

TEST(WsdMessages, ResolveAndGetCarryTheEndpointAsText) {
  std::string refusal;
  const auto resolve = XmlDocument::Parse(ResolveMessage(NewMessageId(), "urn:x&<y>"), refusal);
  ASSERT_NE(resolve, nullptr) << refusal;
  const XmlNode body = FirstChild(resolve->Root(), kSoapNamespace, "Body");
  const XmlNode reference =
      FirstChild(FirstChild(body, kDiscoveryNamespace, "Resolve"), kAddressingNamespace, "EndpointReference");
  EXPECT_EQ(TrimmedText(FirstChild(reference, kAddressingNamespace, "Address")), "urn:x&<y>");

  const auto get = XmlDocument::Parse(GetMessage(NewMessageId(), "urn:uuid:1"), refusal);
  ASSERT_NE(get, nullptr) << refusal;
  const XmlNode header = FirstChild(get->Root(), kSoapNamespace, "Header");
  EXPECT_EQ(TrimmedText(FirstChild(header, kAddressingNamespace, "To")), "urn:uuid:1");
  EXPECT_EQ(TrimmedText(FirstChild(header, kAddressingNamespace, "Action")), kGetAction);
}

TEST(WsdMessages, RepliesAreReadInEveryFormThatRespondersSend) {
  const std::string probe = "urn:uuid:29cf10da-5c41-4d55-b184-5ee15e38ce23";
  struct Case {
    std::string name;
    std::string datagram;
    ReplyKind kind;
    bool computer;
    std::vector<std::string> addresses;
  };
  MatchReply wsdd{.RelatesTo = probe};
  MatchReply windows{.RelatesTo = probe,
                     .TransportAddresses = "http://10.0.0.5:5357/a1b2c3d4-0000-1111-2222-333344445555/"};
  MatchReply resolve{
      .RelatesTo = probe, .TransportAddresses = "http://10.0.0.6:5357/x http://[fe80::1]:5357/x", .Resolve = true};
  MatchReply printer{.RelatesTo = probe, .Types = "wsdp:Device print:PrintDeviceType"};
  MatchReply unbound{.RelatesTo = probe, .Types = "wsdp:Device other:Computer"};
  std::string many;
  for (int i = 0; i < 20; ++i) many += "http://10.0.0." + std::to_string(i) + "/ ";
  MatchReply crowded{.RelatesTo = probe, .TransportAddresses = many};
  const std::string prefixes =
      R"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope"><e:Header>)"
      R"(<Action xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing">)"
      R"(http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</Action>)"
      R"(<a:MessageID xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:m</a:MessageID>)"
      R"(<a:RelatesTo xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:p</a:RelatesTo></e:Header>)"
      R"(<e:Body><ProbeMatches xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><ProbeMatch>)"
      R"(<EndpointReference xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing"><Address>urn:d</Address>)"
      R"(</EndpointReference><Types xmlns:c="http://schemas.microsoft.com/windows/pub/2005/07">c:Computer</Types>)"
      R"(</ProbeMatch></ProbeMatches></e:Body></e:Envelope>)";
  const Case cases[] = {
      {"wsdd", MatchMessage(wsdd, Form::kWsdd), ReplyKind::kProbeMatches, true, {}},
      {"Windows",
       MatchMessage(windows, Form::kWindows),
       ReplyKind::kProbeMatches,
       true,
       {"http://10.0.0.5:5357/a1b2c3d4-0000-1111-2222-333344445555/"}},
      {"resolve",
       MatchMessage(resolve, Form::kWsdd),
       ReplyKind::kResolveMatches,
       true,
       {"http://10.0.0.6:5357/x", "http://[fe80::1]:5357/x"}},
      {"printer", MatchMessage(printer, Form::kWindows), ReplyKind::kProbeMatches, false, {}},
      {"unbound prefix", MatchMessage(unbound, Form::kWsdd), ReplyKind::kProbeMatches, false, {}},
      {"prefixes of its own", prefixes, ReplyKind::kProbeMatches, true, {}},
  };
  for (const Case& c : cases) {
    std::string refusal;
    const std::optional<DiscoveryReply> reply = ParseDiscoveryReply(c.datagram, refusal);
    ASSERT_TRUE(reply) << c.name << ": " << refusal;
    EXPECT_EQ(reply->Kind, c.kind) << c.name;
    ASSERT_EQ(reply->Matches.size(), 1u) << c.name;
    EXPECT_EQ(reply->Matches[0].IsComputer, c.computer) << c.name;
    EXPECT_EQ(reply->Matches[0].TransportAddresses, c.addresses) << c.name;
    if (c.name != "prefixes of its own") {
      EXPECT_EQ(reply->RelatesTo, probe) << c.name;
    }
  }
  std::string refusal;
  const auto reply = ParseDiscoveryReply(MatchMessage(crowded, Form::kWsdd), refusal);
  ASSERT_TRUE(reply) << refusal;
  EXPECT_EQ(reply->Matches[0].TransportAddresses.size(), kMaxAddressesPerDevice);
}

TEST(WsdMessages, RepliesThatBreakTheRulesAreRefusedWithTheReason) {
  const std::string valid = MatchMessage({.RelatesTo = "urn:p"}, Form::kWsdd);
  std::string bad_endpoint = valid;
  bad_endpoint.replace(bad_endpoint.find("urn:uuid:1111"), 4, "u n");
  std::string soap11 = valid;
  soap11.replace(soap11.find("http://www.w3.org/2003/05/soap-envelope"), 39,
                 "http://schemas.xmlsoap.org/soap/envelope/");
  std::string no_relates = valid;
  no_relates.replace(no_relates.find("<wsa:RelatesTo>"), 35, "");
  const std::string laughs =
      R"(<?xml version="1.0"?><!DOCTYPE e [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;">]>)"
      "<e>&b;</e>";
  const std::string external = R"(<?xml version="1.0"?><!DOCTYPE e SYSTEM "http://10.0.0.1/x.dtd"><e/>)";
  std::string nested;
  for (int i = 0; i < 400; ++i) nested += "<a>";
  std::string hello = valid;
  hello.replace(hello.find("ProbeMatches</wsa"), 12, "Hello");
  struct Case {
    std::string name;
    std::string datagram;
    std::string refusal;
  };
  const Case cases[] = {
      {"not XML", "\x01\x02garbage", "it is not well-formed XML (line 1: Start tag expected, '<' not found)"},
      {"cut short", valid.substr(0, valid.size() / 2), "it is not well-formed XML"},
      {"entities", laughs, "it holds a document type declaration"},
      {"external DTD", external, "it holds a document type declaration"},
      {"too deep", nested, "it is not well-formed XML"},
      {"huge", valid + std::string(kMaxDatagramBytes, ' '), "it is larger than 32 KiB"},
      {"SOAP 1.1", soap11, "it is not a SOAP 1.2 envelope"},
      {"no RelatesTo", no_relates, "it has no valid MessageID or RelatesTo"},
      {"endpoint with a blank", bad_endpoint, "it holds no ProbeMatch with a valid endpoint address"},
      {"a Hello", hello, "it is neither ProbeMatches nor ResolveMatches"},
  };
  for (const Case& c : cases) {
    std::string refusal;
    EXPECT_FALSE(ParseDiscoveryReply(c.datagram, refusal)) << c.name;
    EXPECT_EQ(refusal.substr(0, c.refusal.size()), c.refusal) << c.name << ": " << refusal;
  }
}

TEST(WsdMessages, TheComputerIsReadFromTheHostRelationshipInEveryForm) {
  struct Case {
    std::string computer;
    Form form;
    const char* name;
    const char* container;
  };
  const Case cases[] = {
      {"ATLAS/Workgroup:OFFICE", Form::kWsdd, "ATLAS", "OFFICE"},
      {"BOREAS\\Workgroup:LAB", Form::kWindows, "BOREAS", "LAB"},
      {" CASSINI/Domain:CORP \r\n", Form::kWindows, "CASSINI", "CORP"},
      {"DORADO\\domain:CORP", Form::kWsdd, "DORADO", "CORP"},
      {"ELARA/NotJoined", Form::kWsdd, "ELARA", kNotJoinedContainer},
      {"FORNAX\\NotJoined", Form::kWindows, "FORNAX", kNotJoinedContainer},
      {"Jåkobsen-PC/Workgroup:Kontor", Form::kWindows, "Jåkobsen-PC", "Kontor"},
      {"<![CDATA[GANYMEDE/Workgroup:A&B]]>", Form::kWsdd, "GANYMEDE", "A&B"},
  };
  for (const Case& c : cases) {
    std::string refusal;
    const std::optional<ComputerIdentity> identity =
        ParseComputerMetadata(MetadataMessage(c.computer, c.form), refusal);
    ASSERT_TRUE(identity) << c.computer << ": " << refusal;
    EXPECT_EQ(identity->Name, c.name);
    EXPECT_EQ(identity->Container, c.container);
  }
}

TEST(WsdMessages, MetadataThatNamesNoValidComputerIsRefusedWithTheReason) {
  std::string no_relationship = MetadataMessage("ATLAS/Workgroup:OFFICE", Form::kWsdd);
  no_relationship.replace(no_relationship.find("devprof/host"), 12, "devprof/hosted");
  struct Case {
    std::string name;
    std::string document;
    std::string refusal;
  };
  const Case cases[] = {
      {"no separator", MetadataMessage("ATLAS", Form::kWsdd),
       "pub:Computer is not of the form NAME/Workgroup:WG, NAME/Domain:DOM or NAME/NotJoined"},
      {"unknown membership", MetadataMessage("ATLAS/Realm:X", Form::kWsdd),
       "pub:Computer is not of the form NAME/Workgroup:WG, NAME/Domain:DOM or NAME/NotJoined"},
      {"no name", MetadataMessage("/Workgroup:OFFICE", Form::kWsdd),
       "pub:Computer's computer name is refused: the name is empty, longer than 255 bytes or holds a control "
       "character, a / or a \\"},
      {"control character", MetadataMessage("AT&#9;LAS/Workgroup:OFFICE", Form::kWsdd),
       "pub:Computer's computer name is refused: the name is empty, longer than 255 bytes or holds a control "
       "character, a / or a \\"},
      {"C1 control",
       MetadataMessage("ATLAS/Workgroup:OF\xc2\x9b"
                       "FICE",
                       Form::kWsdd),
       "pub:Computer's workgroup or domain is refused: the name holds a control character"},
      {"slash in the workgroup", MetadataMessage("ATLAS/Workgroup:A/B", Form::kWsdd),
       "pub:Computer's workgroup or domain is refused: the name is empty, longer than 255 bytes or holds a "
       "control character, a / or a \\"},
      {"long name", MetadataMessage(std::string(256, 'N') + "/NotJoined", Form::kWsdd),
       "pub:Computer's computer name is refused: the name is empty, longer than 255 bytes or holds a control "
       "character, a / or a \\"},
      {"no host relationship", no_relationship, "its host relationship names no computer (pub:Computer)"},
      {"not well-formed", MetadataMessage("ATLAS/Workgroup:OFFICE", Form::kWsdd).substr(0, 300),
       "it is not well-formed XML"},
      {"huge", MetadataMessage(std::string(kMaxMetadataBytes, 'N') + "/NotJoined", Form::kWsdd),
       "it is larger than 64 KiB"},
  };
  for (const Case& c : cases) {
    std::string refusal;
    EXPECT_FALSE(ParseComputerMetadata(c.document, refusal)) << c.name;
    EXPECT_EQ(refusal.substr(0, c.refusal.size()), c.refusal) << c.name << ": " << refusal;
  }
  // XML lets no invalid UTF-8 through; the name's own check stands
  // behind it.
  std::string refusal;
  EXPECT_FALSE(ParsePublishedComputer("AT\xffLAS/NotJoined", refusal));
  EXPECT_EQ(refusal, "pub:Computer's computer name is refused: the name is not valid UTF-8");
}

}  // namespace
}  // namespace discovery::wsd
