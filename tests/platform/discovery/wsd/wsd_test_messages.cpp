#include "tests/platform/discovery/wsd/wsd_test_messages.h"

namespace discovery::wsd::testing {
namespace {

const char kWsddNamespaces[] = R"(xmlns:soap="http://www.w3.org/2003/05/soap-envelope" )"
                               R"(xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" )"
                               R"(xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" )"
                               R"(xmlns:wsx="http://schemas.xmlsoap.org/ws/2004/09/mex" )"
                               R"(xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" )"
                               R"(xmlns:pnpx="http://schemas.microsoft.com/windows/pnpx/2005/10" )"
                               R"(xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07")";

}  // namespace

std::string MatchMessage(const MatchReply& reply, Form form) {
  const std::string kind = reply.Resolve ? "Resolve" : "Probe";
  const std::string addresses =
      reply.TransportAddresses.empty() ? "" : "<wsd:XAddrs>" + reply.TransportAddresses + "</wsd:XAddrs>";
  if (form == Form::kWsdd) {
    return R"(<?xml version="1.0" encoding="utf-8"?><soap:Envelope )" + std::string(kWsddNamespaces) +
           R"(><soap:Header><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>)"
           "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/" +
           kind + "Matches</wsa:Action><wsa:MessageID>" + reply.MessageId + "</wsa:MessageID><wsa:RelatesTo>" +
           reply.RelatesTo +
           R"(</wsa:RelatesTo><wsd:AppSequence InstanceId="1796700188" SequenceId="urn:uuid:b37413a0-f2b6-11f1-)"
           R"(8212-26dbe2f35991" MessageNumber="2" /></soap:Header><soap:Body><wsd:)" +
           kind + "Matches><wsd:" + kind + "Match><wsa:EndpointReference><wsa:Address>" + reply.Endpoint +
           "</wsa:Address></wsa:EndpointReference><wsd:Types>" + reply.Types + "</wsd:Types>" + addresses +
           "<wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:" + kind + "Match></wsd:" + kind +
           "Matches></soap:Body></soap:Envelope>";
  }
  // Windows declares namespaces as it goes and lays the message out over
  // lines.
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n"
         "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"\r\n"
         "    xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\"\r\n"
         "    xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">\r\n"
         "<soap:Header>\r\n"
         "  <wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>\r\n"
         "  <wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/" +
         kind + "Matches</wsa:Action>\r\n  <wsa:MessageID>" + reply.MessageId +
         "</wsa:MessageID>\r\n  <wsa:RelatesTo>\r\n    " + reply.RelatesTo +
         "\r\n  </wsa:RelatesTo>\r\n"
         "  <wsd:AppSequence InstanceId=\"1765432109\" MessageNumber=\"9\"></wsd:AppSequence>\r\n"
         "</soap:Header>\r\n<soap:Body>\r\n  <wsd:" +
         kind + "Matches>\r\n    <wsd:" + kind + "Match>\r\n      <wsa:EndpointReference><wsa:Address>" +
         reply.Endpoint +
         "</wsa:Address></wsa:EndpointReference>\r\n"
         "      <wsd:Types xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\"\r\n"
         "          xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\">" +
         reply.Types + "</wsd:Types>\r\n      " + addresses +
         "\r\n      <wsd:MetadataVersion>4</wsd:MetadataVersion>\r\n    </wsd:" + kind + "Match>\r\n  </wsd:" + kind +
         "Matches>\r\n</soap:Body>\r\n</soap:Envelope>\r\n";
}

std::string MetadataMessage(const std::string& computer, Form form) {
  const std::string relationship =
      R"(<wsx:MetadataSection Dialect="http://schemas.xmlsoap.org/ws/2006/02/devprof/Relationship">)"
      R"(<wsdp:Relationship Type="http://schemas.xmlsoap.org/ws/2006/02/devprof/host"><wsdp:Host>)"
      R"(<wsa:EndpointReference><wsa:Address>urn:uuid:11111111-2222-3333-4444-555555555555</wsa:Address>)"
      R"(</wsa:EndpointReference><wsdp:Types>pub:Computer</wsdp:Types>)"
      R"(<wsdp:ServiceId>urn:uuid:11111111-2222-3333-4444-555555555555</wsdp:ServiceId><pub:Computer>)" +
      computer + "</pub:Computer></wsdp:Host></wsdp:Relationship></wsx:MetadataSection>";
  const std::string this_device =
      R"(<wsx:MetadataSection Dialect="http://schemas.xmlsoap.org/ws/2006/02/devprof/ThisDevice">)"
      "<wsdp:ThisDevice><wsdp:FriendlyName>Microsoft Publication Service Device Host</wsdp:FriendlyName>"
      "<wsdp:FirmwareVersion>1.0</wsdp:FirmwareVersion><wsdp:SerialNumber>20050718</wsdp:SerialNumber>"
      "</wsdp:ThisDevice></wsx:MetadataSection>";
  const std::string head =
      R"(<?xml version="1.0" encoding="utf-8"?><soap:Envelope )" + std::string(kWsddNamespaces) +
      R"(><soap:Header><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>)"
      "<wsa:Action>http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse</wsa:Action>"
      "<wsa:MessageID>urn:uuid:b74356b2-f2b6-11f1-8212-26dbe2f35991</wsa:MessageID>"
      "<wsa:RelatesTo>urn:uuid:0bdb3a0e-7f0b-4f4e-9d1e-6d1ed0e0b1aa</wsa:RelatesTo></soap:Header><soap:Body>"
      "<wsx:Metadata>";
  const std::string tail = "</wsx:Metadata></soap:Body></soap:Envelope>";
  // The sections may come in any order.
  return form == Form::kWsdd ? head + this_device + relationship + tail : head + relationship + this_device + tail;
}

}  // namespace discovery::wsd::testing
