#include "bench/process_run.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

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
  measure.processor_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  measure.peak_kib = usage.ru_maxrss;
  // grep -c ends with 1 when it finds nothing (in UTF-16 files).
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) std::fprintf(stderr, "%s failed\n", command[0].c_str());
  return measure;
}

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

double MedianSeconds(const std::vector<Measure>& runs) {
  std::vector<double> seconds;
  for (const Measure& run : runs) seconds.push_back(run.seconds);
  return Median(std::move(seconds));
}

double MedianProcessorSeconds(const std::vector<Measure>& runs) {
  std::vector<double> seconds;
  for (const Measure& run : runs) seconds.push_back(run.processor_seconds);
  return Median(std::move(seconds));
}

double PeakMib(const std::vector<Measure>& runs) {
  long peak = 0;
  for (const Measure& run : runs) peak = std::max(peak, run.peak_kib);
  return peak / 1024.0;
}

}  // namespace bench
