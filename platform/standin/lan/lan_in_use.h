// The LAN that the stand-in's network and registry functions read: chosen
// on first use from the environment (lan_selection.h), its messages going
// to standard error. The functions above it know only the LAN source
// interface (lan_source.h), not which LAN it is.
#pragma once

#include <memory>

#include "platform/lan/lan_model.h"
#include "platform/lan/lan_source.h"

namespace standin {

lan::LanSource& LanInUse();

// Replaces the LAN in use (tests): a source of the test's own, or a model
// served as a LAN directory would be (lan_selection.h, ServeLanModel).
void UseLanForTesting(std::unique_ptr<lan::LanSource> source);
void UseLanForTesting(lan::Lan model);

}  // namespace standin
