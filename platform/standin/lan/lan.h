// The LAN that the stand-in serves: loaded once, on first use, from the
// directory that KESTROVA_LAN names, or from the sample LAN that ships
// with the program when it is unset.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>

#include "platform/lan/lan_directory.h"
#include "platform/lan/lan_model.h"

namespace standin {

// The LAN in use.
const Lan& CurrentLan();

// Replaces the LAN in use (tests).
void UseLanForTesting(Lan lan);

// Reads the LAN directory that the environment names (lan_environment.cpp).
Lan LoadLanFromEnvironment();

// Reads a LAN directory with its names in the ANSI code page in force
// (GetACP), as the ANSI functions of the stand-in hand them out.
Lan LoadLanDirectory(const std::filesystem::path& directory, std::ostream& messages);

// Where the sample LAN that ships with the program lies: beside an
// installed program in ../share/kestrova/lan, or in the source tree it was
// built from.
std::optional<std::filesystem::path> SampleLanDirectory();

}  // namespace standin
