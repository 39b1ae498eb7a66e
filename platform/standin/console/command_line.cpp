// The process's command line and its executable, as Windows presents them.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "platform/standin/console/process.h"
#include "platform/standin/standin_control.h"

namespace {

// Wraps an argument in double quotes when it is empty or holds a byte
// that would otherwise split it (0x01 to 0x20); every other argument is
// taken as it is, so quotes typed inside an argument still act as quotes.
void AppendArgument(std::string& line, const char* argument) {
  bool needs_quotes = *argument == '\0';
  for (const char* p = argument; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) <= 0x20) needs_quotes = true;
  }
  if (needs_quotes) line.push_back('"');
  line.append(argument);
  if (needs_quotes) line.push_back('"');
}

// The program path first, then each argument, separated by one space.
std::string FormCommandLine() {
  std::string line;
  const int count = standin::StartArgumentCount();
  char** arguments = standin::StartArguments();
  for (int i = 0; i < count && arguments != nullptr && arguments[i] != nullptr; ++i) {
    if (i > 0) line.push_back(' ');
    AppendArgument(line, arguments[i]);
  }
  return line;
}

std::string& CommandLine() {
  static std::string line = FormCommandLine();
  return line;
}

// The load address of the module that holds this code: the executable.
void* ExecutableBase() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ExecutableBase), &info) == 0) return nullptr;
  return info.dli_fbase;
}

struct ModuleSearch {
  const void* base;
  std::string path;
  bool found;
};

// The file of the loaded module whose load address is base.
bool FindModulePath(const void* base, std::string& path) {
  if (base == ExecutableBase()) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0) return false;
    path.assign(buffer, static_cast<std::size_t>(length));
    return true;
  }
  ModuleSearch search{base, {}, false};
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* wanted = static_cast<ModuleSearch*>(data);
        if (reinterpret_cast<const void*>(info->dlpi_addr) != wanted->base || info->dlpi_name == nullptr) return 0;
        wanted->path = info->dlpi_name;
        wanted->found = !wanted->path.empty();
        return wanted->found ? 1 : 0;
      },
      &search);
  if (search.found) path = search.path;
  return search.found;
}

}  // namespace

namespace standin {

void SetCommandLineForTesting(std::string_view command_line) { CommandLine().assign(command_line); }

}  // namespace standin

LPSTR WINAPI GetCommandLineA() { return CommandLine().data(); }

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName != nullptr) {
    SetLastError(126);  // ERROR_MOD_NOT_FOUND: only the executable is known by name
    return nullptr;
  }
  return static_cast<HMODULE>(ExecutableBase());
}

// Copies the module's path; a path that does not fit is cut to
// nSize - 1 bytes, zero-terminated, and the result is nSize.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path;
  const void* base = hModule == nullptr ? ExecutableBase() : static_cast<const void*>(hModule);
  if (!FindModulePath(base, path)) {
    SetLastError(126);  // ERROR_MOD_NOT_FOUND
    return 0;
  }
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= nSize) {
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}
