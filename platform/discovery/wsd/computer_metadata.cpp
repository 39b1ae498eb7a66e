#include "platform/discovery/wsd/computer_metadata.h"

#include "platform/ascii_case.h"
#include "platform/discovery/discovery_settings.h"
#include "platform/discovery/discovery_source.h"
#include "platform/discovery/wsd/wsd_protocol.h"
#include "platform/discovery/wsd/xml_document.h"
#include "platform/lan/utf16_text.h"

namespace discovery::wsd {
namespace {

bool StartsWithKeyword(std::string_view text, std::string_view keyword) {
  return text.size() >= keyword.size() && ascii_case::Same(text.substr(0, keyword.size()), keyword);
}

// The pub:Computer of the first host relationship that has one.
XmlNode PublishedComputer(XmlNode body) {
  const XmlNode metadata = FirstChild(body, kMetadataExchangeNamespace, "Metadata");
  for (XmlNode section = FirstChild(metadata, kMetadataExchangeNamespace, "MetadataSection"); section != nullptr;
       section = NextSibling(section, kMetadataExchangeNamespace, "MetadataSection")) {
    if (Attribute(section, "Dialect") != kRelationshipDialect) continue;
    for (XmlNode relationship = FirstChild(section, kDevicesNamespace, "Relationship"); relationship != nullptr;
         relationship = NextSibling(relationship, kDevicesNamespace, "Relationship")) {
      if (Attribute(relationship, "Type") != kHostRelationship) continue;
      const XmlNode computer =
          FirstChild(FirstChild(relationship, kDevicesNamespace, "Host"), kPublicationNamespace, "Computer");
      if (computer != nullptr) return computer;
    }
  }
  return nullptr;
}

}  // namespace

bool IsValidName(std::string_view name, std::string& refusal) {
  if (!IsContainerName(name)) {
    refusal = "the name is empty, longer than " + std::to_string(kMaxNameBytes) +
              " bytes or holds a control character, a / or a \\";
    return false;
  }
  for (std::size_t at = 0; at < name.size();) {
    std::size_t length = 0;
    const char32_t code = lan::DecodeUtf8(name, at, length);
    if (length == 0) {
      refusal = "the name is not valid UTF-8";
      return false;
    }
    if (code >= 0x80 && code <= 0x9F) {
      refusal = "the name holds a control character";
      return false;
    }
    at += length;
  }
  return true;
}

std::optional<ComputerIdentity> ParsePublishedComputer(std::string_view text, std::string& refusal) {
  const std::size_t separator = text.find_first_of("/\\");
  if (separator == std::string_view::npos) {
    refusal = "pub:Computer is not of the form NAME/Workgroup:WG, NAME/Domain:DOM or NAME/NotJoined";
    return std::nullopt;
  }
  ComputerIdentity identity;
  identity.Name = std::string(text.substr(0, separator));
  const std::string_view membership = text.substr(separator + 1);
  if (StartsWithKeyword(membership, "Workgroup:")) {
    identity.Container = std::string(membership.substr(10));
  } else if (StartsWithKeyword(membership, "Domain:")) {
    identity.Container = std::string(membership.substr(7));
  } else if (membership.size() == 9 && StartsWithKeyword(membership, "NotJoined")) {
    identity.Container = kNotJoinedContainer;
  } else {
    refusal = "pub:Computer is not of the form NAME/Workgroup:WG, NAME/Domain:DOM or NAME/NotJoined";
    return std::nullopt;
  }
  std::string why;
  if (!IsValidName(identity.Name, why)) {
    refusal = "pub:Computer's computer name is refused: " + why;
    return std::nullopt;
  }
  if (!IsValidName(identity.Container, why)) {
    refusal = "pub:Computer's workgroup or domain is refused: " + why;
    return std::nullopt;
  }
  return identity;
}

std::optional<ComputerIdentity> ParseComputerMetadata(std::string_view document, std::string& refusal) {
  if (document.size() > kMaxMetadataBytes) {
    refusal = "it is larger than " + std::to_string(kMaxMetadataBytes / 1024) + " KiB";
    return std::nullopt;
  }
  const std::unique_ptr<XmlDocument> parsed = XmlDocument::Parse(document, refusal);
  if (parsed == nullptr) return std::nullopt;
  const XmlNode envelope = parsed->Root();
  if (!IsElement(envelope, kSoapNamespace, "Envelope")) {
    refusal = "it is not a SOAP 1.2 envelope";
    return std::nullopt;
  }
  const XmlNode computer = PublishedComputer(FirstChild(envelope, kSoapNamespace, "Body"));
  if (computer == nullptr) {
    refusal = "its host relationship names no computer (pub:Computer)";
    return std::nullopt;
  }
  return ParsePublishedComputer(TrimmedText(computer), refusal);
}

}  // namespace discovery::wsd
