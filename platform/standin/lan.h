// The LAN that the stand-in serves: loaded once, on first use, from the
// directory that KESTROVA_LAN names, or from the sample LAN that ships
// with the program when it is unset.
#pragma once

#include "platform/standin/lan_model.h"

namespace standin {

// The LAN in use.
const Lan& CurrentLan();

// Replaces the LAN in use (tests).
void UseLanForTesting(Lan lan);

// Reads the LAN directory that the environment names (lan_directory.cpp).
Lan LoadLanFromEnvironment();

}  // namespace standin
