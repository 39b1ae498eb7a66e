// One command run as a whole process for the benchmarks: started with
// fork and exec and reaped with wait4, KESTROVA_LAN set to a LAN
// directory, its standard output going to a file (/dev/null by default).
// Its time runs from before the fork to the return of wait4, its
// processor time is wait4's user and system time, its peak memory is
// wait4's ru_maxrss.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct Measure {
  double seconds = 0;
  double processor_seconds = 0;
  long peak_kib = 0;
};

// Standard error goes to `errors`, or stays the benchmark's own when null.
Measure RunProcess(const std::vector<std::string>& command, const std::string& lan, const char* output = "/dev/null",
                   const char* errors = nullptr);

// The median time and processor time of some runs (at least one), and
// their highest peak.
double MedianSeconds(const std::vector<Measure>& runs);
double MedianProcessorSeconds(const std::vector<Measure>& runs);
double PeakMib(const std::vector<Measure>& runs);

}  // namespace bench
