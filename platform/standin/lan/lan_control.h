// The LANs that tests put in place of the program's, for the stand-in's
// network and registry functions to read. The program itself calls none
// of this.
#pragma once

#include <memory>
#include <ostream>

#include "platform/lan/lan_model.h"
#include "platform/lan/lan_source.h"

namespace standin {

// A source of the test's own.
void UseLanForTesting(std::unique_ptr<lan::LanSource> source);
// A model served as a LAN directory is (lan_selection.h, ServeLanModel),
// its messages going to diagnostics, which must outlive its use.
void UseLanForTesting(lan::Lan model, std::ostream& diagnostics);
// A LAN without records or computers, which has nothing to say.
void UseEmptyLanForTesting();

}  // namespace standin
