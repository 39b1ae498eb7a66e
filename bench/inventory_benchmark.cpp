// Measures the inventory over synthetic LANs of growing size, in both
// export formats: the wall time and peak memory of `kestrova '*'` and of
// `export_listing` (the registry read in place from each file, alone, below
// the program's ANSI functions),
// next to a baseline that only reads the same files, `grep -r -c
// DisplayName`, in the same run. Each command is a whole process, started
// with fork and exec and reaped with wait4 the same way, its standard
// output going to /dev/null; its time runs from before the fork to the
// return of wait4, its peak memory is wait4's ru_maxrss. `wc -l` over the
// same files is a second baseline that reads every byte in either format
// (grep reads UTF-16 files, which it takes for binary, much more slowly). Every command
// runs once untimed (the files are then in the page cache), then
// `repetitions` times interleaved; the table gives the medians and the
// ratios of the medians to grep's. It prints figures and asserts nothing.
//
//   kestrova_benchmark [kestrova] [export_listing] [applications-per-computer] [repetitions]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/process_run.h"
#include "bench/synthetic_lan.h"

namespace fs = std::filesystem;

namespace {

using bench::Measure;

struct Series {
  std::vector<std::string> command;
  std::vector<Measure> runs;

  double MedianSeconds() const { return bench::MedianSeconds(runs); }
  double PeakMib() const { return bench::PeakMib(runs); }
};

}  // namespace

int main(int argc, char** argv) {
  const fs::path here = fs::absolute(argv[0]).parent_path();
  const std::string kestrova = argc > 1 ? argv[1] : "build/release/app/kestrova";
  const std::string listing = argc > 2 ? argv[2] : (here / "export_listing").string();
  const int applications = argc > 3 ? std::atoi(argv[3]) : 150;
  const int repetitions = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  const fs::path root = fs::temp_directory_path() / ("kestrova-benchmark-" + std::to_string(getpid()));

  std::printf(
      "%d applications per computer, about 15 values each; medians of %d runs, every command a whole "
      "process (fork, exec, wait4), output to /dev/null\n\n",
      applications, repetitions);
  std::printf(
      "| format | computers | data (MiB) | kestrova (s) | kestrova peak (MiB) | export_listing (s) | "
      "export_listing peak (MiB) | grep -c (s) | grep peak (MiB) | wc -l (s) | output alone, dd obs=128 (s) | "
      "kestrova / grep | export_listing / grep | export_listing / wc | output alone / grep |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const auto format : {bench::ExportFormat::kRegedit4, bench::ExportFormat::kVersion5}) {
    for (int computers : {100, 400, 1600}) {
      const fs::path lan = root / std::to_string(computers);
      fs::create_directories(lan);
      const std::uintmax_t bytes = bench::WriteSyntheticLan(lan, format, computers, applications);
      std::vector<std::string> count_lines = {"wc", "-l"};
      for (const auto& entry : fs::directory_iterator(lan)) count_lines.push_back(entry.path().string());
      const fs::path output = root / "output.txt";
      bench::RunProcess({kestrova, "*"}, lan.string(), output.c_str());
      std::vector<Series> series = {
          {{kestrova, "*"}, {}},
          {{listing, lan.string()}, {}},
          {{"grep", "-r", "-c", "DisplayName", lan.string()}, {}},
          {count_lines, {}},
          {{"dd", "if=" + output.string(), "of=/dev/null", "ibs=1M", "obs=128", "status=none"}, {}},
      };
      for (Series& one : series) bench::RunProcess(one.command, lan.string());
      for (int repetition = 0; repetition < repetitions; ++repetition) {
        for (Series& one : series) one.runs.push_back(bench::RunProcess(one.command, lan.string()));
      }
      const double grep = series[2].MedianSeconds();
      const double wc = series[3].MedianSeconds();
      const double output_alone = series[4].MedianSeconds();
      std::printf(
          "| %s | %d | %.1f | %.3f | %.1f | %.3f | %.1f | %.3f | %.1f | %.3f | %.3f | %.1f | %.1f | %.1f | %.1f |\n",
          format == bench::ExportFormat::kRegedit4 ? "REGEDIT4" : "version 5", computers, bytes / 1048576.0,
          series[0].MedianSeconds(), series[0].PeakMib(), series[1].MedianSeconds(), series[1].PeakMib(), grep,
          series[2].PeakMib(), wc, output_alone, series[0].MedianSeconds() / grep, series[1].MedianSeconds() / grep,
          series[1].MedianSeconds() / wc, output_alone / grep);
      std::fflush(stdout);
      fs::remove_all(lan);
      fs::remove(output);
    }
  }
  fs::remove_all(root);
  return 0;
}
