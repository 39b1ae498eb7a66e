// A LAN directory: every *.reg file in it is a computer, and an optional
// description file (lan_description.h) gives the network hierarchy and
// the faults. Without a description, or when the description gives no
// hierarchy, the network has the plain layout that Windows shows for one
// workgroup: the Windows network, WORKGROUP below it, and below that one
// server per computer in byte order of the names.
//
// Nothing here depends on the host: the Linux stand-in reads a LAN
// directory through it, and so does the network provider that serves the
// same LAN to the Windows build under Wine.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/lan/lan_model.h"

namespace standin {

// The environment variable that names the LAN directory.
inline constexpr const char* kLanDirectoryVariable = "KESTROVA_LAN";

// Re-encodes a name from UTF-8, the encoding of file names and of the
// description, into the one that the platform hands names out in; nullopt
// keeps the name as it is.
using NameEncoding = std::function<std::optional<std::string>(const std::string& utf8)>;

// Reads a LAN directory, its names re-encoded by `encode` (an empty
// function keeps them in UTF-8). Every problem is reported on `messages`
// as one line starting "kestrova: "; a directory that cannot be read gives
// an empty LAN.
Lan LoadLanDirectory(const std::filesystem::path& directory, std::ostream& messages, const NameEncoding& encode);

// The plain layout's top-level records for these computers.
std::vector<NetworkRecord> PlainLayout(const std::vector<Computer>& computers);

}  // namespace standin
