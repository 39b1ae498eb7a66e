// Keeps a described network one that a depth-first walk can finish.
//
// Containers are found by name (container_lookup.h), so a description can
// make a container enclose a record that opens the container again: a
// walk of it would never end. Records can also alias each other so that a
// walk goes very deep, or visits far more records than the description
// holds. The program that walks the network trusts its platform in all
// this, so a LAN directory refuses such networks when it is read.
#pragma once

#include <cstdint>
#include <ostream>

#include "platform/lan/lan_model.h"

namespace lan {

// How deep below the top a walk may open containers.
constexpr int kMaxWalkDepth = 32;
// How many records a whole walk may visit.
constexpr std::uint64_t kMaxWalkRecords = 1000000;

// Leaves out every record whose enumeration would open a container that
// encloses it, or would take the walk deeper than kMaxWalkDepth, with a
// message for each. Answers false, and leaves the message to the caller,
// when the walk of what remains would still visit more than
// kMaxWalkRecords records.
bool KeepWalkBounded(NetworkRecord& top, std::ostream& diagnostics);

}  // namespace lan
