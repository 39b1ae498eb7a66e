// Runs the discovery sources at once, each on a thread of its own, and
// hands back what each found. Each source writes its messages into a
// buffer of its own; the buffers go to the diagnostics stream once every
// source has returned, in the sources' order, so that the same network
// gives the same messages however the sources' work interleaves. The run
// takes as long as the slowest source, each bounded by its own limits.
#pragma once

#include <memory>
#include <ostream>
#include <span>
#include <vector>

#include "platform/discovery/discovered_network.h"
#include "platform/discovery/discovery_source.h"

namespace discovery {

// What each source found, in the sources' order. A source that throws
// costs one message and its findings.
std::vector<Findings> RunSources(std::span<const std::unique_ptr<DiscoverySource>> sources, std::ostream& diagnostics);

}  // namespace discovery
