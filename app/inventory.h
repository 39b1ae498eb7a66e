// The two stages of an inventory run, which the driver calls in turn.
#pragma once

#include "runtime/string_list.h"
#include "runtime/text.h"

// Appends the name of every computer that the network browser lists.
void CollectLanComputers(TStringList& computers);

// Writes one line for each installed application of computer whose display
// name matches app_name ("*" for every one).
void ListInstalledApplications(const Text& computer, const Text& app_name);
