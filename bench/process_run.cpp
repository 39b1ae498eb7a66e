#include "bench/process_run.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace bench {

Measure RunProcess(const std::vector<std::string>& command, const std::string& lan, const char* output,
                   const char* errors) {
  std::fflush(stdout);
  std::fflush(stderr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    setenv("KESTROVA_LAN", lan.c_str(), 1);
    if (!freopen(output, "w", stdout)) _exit(126);
    if (errors != nullptr && !freopen(errors, "w", stderr)) _exit(126);
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Measure measure;
  measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  measure.peak_kib = usage.ru_maxrss;
  // grep -c ends with 1 when it finds nothing (in UTF-16 files).
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) std::fprintf(stderr, "%s failed\n", command[0].c_str());
  return measure;
}

double MedianSeconds(const std::vector<Measure>& runs) {
  std::vector<double> seconds;
  for (const Measure& run : runs) seconds.push_back(run.seconds);
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

double PeakMib(const std::vector<Measure>& runs) {
  long peak = 0;
  for (const Measure& run : runs) peak = std::max(peak, run.peak_kib);
  return peak / 1024.0;
}

}  // namespace bench
