// What a computer says about itself in answer to the WS-Transfer Get: its
// metadata, whose host relationship (wsx:MetadataSection of the
// Relationship dialect, wsdp:Relationship of the host type, wsdp:Host)
// holds pub:Computer, the computer's NetBIOS name and membership:
//
//   NAME/Workgroup:WG     in workgroup WG
//   NAME/Domain:DOM       joined to domain DOM
//   NAME/NotJoined        in neither
//
// Microsoft's documents write a backslash where Windows and wsdd send a
// slash: either is read. The keywords are read ignoring the case of A to Z.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace discovery::wsd {

// A Windows computer's metadata is about 3 KiB.
inline constexpr std::size_t kMaxMetadataBytes = 64 * 1024;

// Where a computer that is in neither a workgroup nor a domain is listed:
// the workgroup that Windows puts a computer in until someone names
// another.
inline constexpr char kNotJoinedContainer[] = "WORKGROUP";

struct ComputerIdentity {
  std::string Name;
  // The workgroup or the domain; kNotJoinedContainer for a computer that
  // is not joined.
  std::string Container;
};

// Reads pub:Computer's text. nullopt, with `refusal` saying why, for text
// of another form or a name that the discovery interface refuses
// (IsValidName).
std::optional<ComputerIdentity> ParsePublishedComputer(std::string_view text, std::string& refusal);

// Reads the Get's reply: at most kMaxMetadataBytes of XML (no DTD), a
// SOAP 1.2 envelope whose host relationship holds pub:Computer. nullopt,
// with `refusal` saying why, otherwise.
std::optional<ComputerIdentity> ParseComputerMetadata(std::string_view document, std::string& refusal);

// A container or computer name as discovery hands it on: a name that
// IsContainerName takes (1 to kMaxNameBytes bytes, neither \ nor /, which
// would split it in a network path), of valid UTF-8 with no control
// character (C0, DEL, C1).
bool IsValidName(std::string_view name, std::string& refusal);

}  // namespace discovery::wsd
