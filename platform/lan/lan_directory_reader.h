// A LAN directory: every regular *.reg file in it is a computer, and an
// optional description file (lan_description.h) gives the network hierarchy
// and the faults. Every file is opened without waiting, and judged by what
// the open file is (opened_file.h). Without a description, or when the
// description gives no hierarchy, the network has the plain layout that
// Windows shows for one workgroup: the Windows network, WORKGROUP below it,
// and below that one server per computer in byte order of the names.
//
// Nothing here depends on the host: the Linux stand-in serves a LAN
// directory through it (directory_lan_source.h), and so does the network
// provider that serves the same LAN to the Windows build under Wine.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/lan_model.h"

namespace lan {

// Turns a file name that is not valid UTF-8 into UTF-8, by the host's own
// encoding of file names.
using FileNameDecoding = std::function<std::string(std::string_view bytes)>;

// Reads a LAN directory. Names are UTF-8 as the description gives them
// and as file names are, or become by `decode` (without it, a file name
// that is not UTF-8 stays as it is; lan_source.h says how its bytes cross
// to UTF-16). Every problem is reported on `diagnostics` as one line starting
// "kestrova: "; a directory that cannot be read gives an empty LAN.
Lan LoadLanDirectory(const std::filesystem::path& directory, std::ostream& diagnostics,
                     const FileNameDecoding& decode = {});

// The plain layout's top-level records for these computers.
std::vector<NetworkRecord> PlainLayout(const std::vector<Computer>& computers);

}  // namespace lan
