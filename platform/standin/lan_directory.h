// A LAN directory: every *.reg file in it is a computer, and an optional
// description file (lan_description.h) gives the network hierarchy and
// the faults. Without a description, or when the description gives no
// hierarchy, the network has the plain layout that Windows shows for one
// workgroup: the Windows network, WORKGROUP below it, and below that one
// server per computer in byte order of the names.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "platform/standin/lan_model.h"

namespace standin {

// The environment variable that names the LAN directory.
inline constexpr const char* kLanDirectoryVariable = "KESTROVA_LAN";

// Reads a LAN directory. Every problem is reported on `messages` as one
// line starting "kestrova: "; a directory that cannot be read gives an
// empty LAN.
Lan LoadLanDirectory(const std::filesystem::path& directory, std::ostream& messages);

// The plain layout's top-level records for these computers.
std::vector<NetworkRecord> PlainLayout(const std::vector<Computer>& computers);

// Where the sample LAN that ships with the program lies: beside an
// installed program in ../share/kestrova/lan, or in the source tree it was
// built from.
std::optional<std::filesystem::path> SampleLanDirectory();

}  // namespace standin
