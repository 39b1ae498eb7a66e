// The LAN that the stand-in's network and registry functions read: the
// program's LAN (lan_selection.h, OpenProgramLan), chosen on first use.
// The functions above it know only the LAN source interface
// (lan_source.h), not which LAN it is. Tests put a LAN of their own in its
// place (lan_control.h).
#pragma once

#include "platform/lan/lan_source.h"

namespace standin {

lan::LanSource& LanInUse();

}  // namespace standin
