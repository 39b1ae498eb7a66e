// How the whole program's time grows with the inputs that once made it
// quadratic: each shape of LAN is written at n and at 8n, and `kestrova
// '*'` runs over both (whole processes, bench/process_run.h), once untimed
// and then `repetitions` times each. The table gives the medians of the
// wall time and of the processor time, and their ratios; a program that
// stays linear, or n log n, keeps them near 8 and below 10 (64 would be
// quadratic). On a busy machine the processor time is the steadier of the
// two. It prints figures and asserts nothing.
//
//   kestrova_scaling_benchmark [kestrova] [repetitions]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/process_run.h"

namespace fs = std::filesystem;

namespace {

const std::string kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void WriteFile(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string Application(const std::string& subkey, const std::string& display_name) {
  return "[" + kUninstall + "\\" + subkey + "]\r\n\"DisplayName\"=\"" + display_name + "\"\r\n\r\n";
}

std::string ComputerName(int number) { return "PC" + std::to_string(100000 + number); }

// One computer whose Uninstall key holds n values of its own.
void ValuesOfOneKey(const fs::path& lan, int n) {
  std::string text = "REGEDIT4\r\n\r\n[" + kUninstall + "]\r\n";
  for (int i = 0; i < n; ++i) text += "\"Value" + std::to_string(i) + "\"=\"text\"\r\n";
  WriteFile(lan / "PC.reg", text + "\r\n" + Application("App", "Application"));
}

// One computer whose export creates and deletes one key n times.
void KeyDeletedAndCreatedAgain(const fs::path& lan, int n) {
  std::string text = "REGEDIT4\r\n\r\n";
  for (int i = 0; i < n; ++i) {
    text += Application("App", "Application " + std::to_string(i)) + "[-" + kUninstall + "\\App]\r\n\r\n";
  }
  WriteFile(lan / "PC.reg", text + Application("App", "Application"));
}

// n computers, one export each.
void ComputersOfADirectory(const fs::path& lan, int n) {
  for (int i = 0; i < n; ++i) {
    WriteFile(lan / (ComputerName(i) + ".reg"), "REGEDIT4\r\n\r\n" + Application("App", "Application"));
  }
}

// n computers named in the description's Computers map, without exports.
void ComputersOfADescription(const fs::path& lan, int n) {
  std::string text = "{ \"Computers\": {\n";
  for (int i = 0; i < n; ++i) text += (i == 0 ? "  \"" : ",\n  \"") + ComputerName(i) + "\": null";
  WriteFile(lan / "lan.json", text + "\n} }\n");
}

// n servers listed in the description's hierarchy, in one workgroup.
void ServersOfADescription(const fs::path& lan, int n) {
  std::string text = "{ \"Children\": [ { \"Workgroup\": \"WORKGROUP\", \"Children\": [\n";
  for (int i = 0; i < n; ++i) text += (i == 0 ? "  \"" : ",\n  \"") + ComputerName(i) + "\"";
  WriteFile(lan / "lan.json", text + "\n] } ] }\n");
}

// n workgroups of one name, each of its own provider and with one server:
// containers are found by name and provider.
void WorkgroupsOfOneName(const fs::path& lan, int n) {
  std::string text = "{ \"Children\": [\n";
  for (int i = 0; i < n; ++i) {
    text += std::string(i == 0 ? "  " : ",\n  ") + "{ \"Workgroup\": \"WORKGROUP\", \"Provider\": \"Provider " +
            std::to_string(i) + "\", \"Children\": [\"" + ComputerName(i) + "\"] }";
  }
  WriteFile(lan / "lan.json", text + "\n] }\n");
}

struct Shape {
  const char* what;  // what n counts
  int n;
  void (*write)(const fs::path& lan, int n);
};

}  // namespace

int main(int argc, char** argv) {
  const std::string kestrova = argc > 1 ? argv[1] : "build/release/app/kestrova";
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const fs::path root = fs::temp_directory_path() / ("kestrova-scaling-" + std::to_string(getpid()));
  const Shape shapes[] = {
      {"values under the Uninstall key of one computer", 10000, ValuesOfOneKey},
      {"times one key is deleted and created again in one export", 10000, KeyDeletedAndCreatedAgain},
      {"computers in a LAN directory", 5000, ComputersOfADirectory},
      {"computers named in lan.json's Computers map", 5000, ComputersOfADescription},
      {"servers listed in lan.json's hierarchy", 5000, ServersOfADescription},
      {"workgroups of one name under as many providers in lan.json", 4000, WorkgroupsOfOneName},
  };

  std::printf(
      "`kestrova '*'` over each LAN at n and at 8n: medians of %d runs, every run a whole process (fork, exec, "
      "wait4), output and messages to /dev/null\n\n",
      repetitions);
  std::printf(
      "| n counts | n | time at n (s) | time at 8n (s) | 8n / n | processor at n (s) | processor at 8n (s) | 8n / n | "
      "peak at n (MiB) | peak at 8n (MiB) |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Shape& shape : shapes) {
    std::vector<bench::Measure> runs[2];
    for (int size = 0; size < 2; ++size) {
      const fs::path lan = root / std::to_string(size);
      fs::create_directories(lan);
      shape.write(lan, size == 0 ? shape.n : 8 * shape.n);
      bench::RunProcess({kestrova, "*"}, lan.string(), "/dev/null", "/dev/null");
      for (int repetition = 0; repetition < repetitions; ++repetition) {
        runs[size].push_back(bench::RunProcess({kestrova, "*"}, lan.string(), "/dev/null", "/dev/null"));
      }
      fs::remove_all(lan);
    }
    const double small = bench::MedianSeconds(runs[0]);
    const double large = bench::MedianSeconds(runs[1]);
    const double small_processor = bench::MedianProcessorSeconds(runs[0]);
    const double large_processor = bench::MedianProcessorSeconds(runs[1]);
    std::printf("| %s | %d | %.3f | %.3f | %.1f | %.3f | %.3f | %.1f | %.1f | %.1f |\n", shape.what, shape.n, small,
                large, large / small, small_processor, large_processor, large_processor / small_processor,
                bench::PeakMib(runs[0]), bench::PeakMib(runs[1]));
    std::fflush(stdout);
  }
  fs::remove_all(root);
  return 0;
}
