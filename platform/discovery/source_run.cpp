#include "platform/discovery/source_run.h"

#include <exception>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

namespace discovery {
namespace {

// One source's work; nothing escapes it.
void Run(DiscoverySource& source, Findings& findings, std::ostringstream& messages) {
  findings.KeepsOrder = source.KeepsOrder();
  try {
    findings.Computers = source.Find(messages);
  } catch (const std::exception& error) {
    findings.Computers.clear();
    messages << "kestrova: " << source.Name() << " failed (" << error.what() << "); it finds nothing\n";
  } catch (...) {
    findings.Computers.clear();
    messages << "kestrova: " << source.Name() << " failed; it finds nothing\n";
  }
}

}  // namespace

std::vector<Findings> RunSources(std::span<const std::unique_ptr<DiscoverySource>> sources, std::ostream& diagnostics) {
  std::vector<Findings> findings(sources.size());
  std::vector<std::ostringstream> messages(sources.size());
  {
    std::vector<std::jthread> threads;
    threads.reserve(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
      try {
        threads.emplace_back(Run, std::ref(*sources[i]), std::ref(findings[i]), std::ref(messages[i]));
      } catch (const std::system_error&) {
        // No thread to be had: this source runs here, the others beside it.
        Run(*sources[i], findings[i], messages[i]);
      }
    }
  }  // every thread joined
  for (const std::ostringstream& buffer : messages) diagnostics << buffer.view();
  diagnostics.flush();
  return findings;
}

}  // namespace discovery
