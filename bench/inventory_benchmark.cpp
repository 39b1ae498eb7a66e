// Measures a whole inventory run over synthetic LANs of growing size: the
// wall time and the peak memory of `kestrova '*'`, next to a baseline that
// only reads the same files (`grep -c DisplayName`). Prints a table; it
// asserts nothing.
//
//   kestrova_benchmark [path/to/kestrova] [applications-per-computer]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Measure {
  double seconds = 0;
  long peak_kib = 0;
};

// Runs the command with standard output to /dev/null; its wall time and
// peak resident memory.
Measure Run(const std::vector<std::string>& command, const std::string& lan) {
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    setenv("KESTROVA_LAN", lan.c_str(), 1);
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
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
  return measure;
}

// A computer's export: `applications` uninstall entries with the values a
// real installer writes.
void WriteComputer(const fs::path& file, int computer, int applications) {
  std::ofstream out(file, std::ios::binary);
  out << "REGEDIT4\r\n\r\n";
  const std::string uninstall = "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  for (int app = 0; app < applications; ++app) {
    out << uninstall << "{" << std::hex << 0x10000000 + computer * 1000 + app << std::dec
        << "-1111-2222-3333-444455556666}]\r\n"
        << "\"DisplayName\"=\"Application " << app << " of computer " << computer << "\"\r\n"
        << "\"DisplayVersion\"=\"" << app % 10 << "." << app % 7 << ".0\"\r\n"
        << "\"Publisher\"=\"Vendor " << app % 13 << "\"\r\n"
        << "\"InstallLocation\"=\"C:\\\\Program Files\\\\App" << app << "\"\r\n"
        << "\"UninstallString\"=\"MsiExec.exe /X{" << app << "}\"\r\n"
        << "\"EstimatedSize\"=dword:0000" << std::hex << 0x1000 + app << std::dec << "\r\n\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kestrova = argc > 1 ? argv[1] : "build/release/app/kestrova";
  const int applications = argc > 2 ? std::atoi(argv[2]) : 150;
  const fs::path root = fs::temp_directory_path() / ("kestrova-benchmark-" + std::to_string(getpid()));

  std::printf("%d applications per computer\n\n", applications);
  std::printf(
      "| computers | data (MiB) | kestrova time (s) | kestrova peak (MiB) | grep time (s) | grep peak (MiB) |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|\n");
  for (int computers : {100, 400, 1600}) {
    const fs::path lan = root / std::to_string(computers);
    fs::create_directories(lan);
    std::uintmax_t bytes = 0;
    for (int computer = 0; computer < computers; ++computer) {
      const fs::path file = lan / ("PC" + std::to_string(100000 + computer) + ".reg");
      WriteComputer(file, computer, applications);
      bytes += fs::file_size(file);
    }
    const Measure inventory = Run({kestrova, "*"}, lan.string());
    const Measure baseline = Run({"grep", "-r", "-c", "DisplayName", lan.string()}, lan.string());
    std::printf("| %d | %.1f | %.2f | %.1f | %.2f | %.1f |\n", computers, bytes / 1048576.0, inventory.seconds,
                inventory.peak_kib / 1024.0, baseline.seconds, baseline.peak_kib / 1024.0);
    std::fflush(stdout);
    fs::remove_all(lan);
  }
  fs::remove_all(root);
  return 0;
}
