// The modules loaded in the process and the memory they lie in:
// GetModuleHandleA, GetModuleFileNameA and VirtualQuery.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/windows_api.h"

namespace {

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

// An address inside a loaded module is committed memory whose allocation
// base is the module's load address; any other address is reported free.
SIZE_T WINAPI VirtualQuery(LPCVOID lpAddress, PMEMORY_BASIC_INFORMATION lpBuffer, SIZE_T dwLength) {
  if (lpBuffer == nullptr || dwLength < sizeof(MEMORY_BASIC_INFORMATION)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const auto page_size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  std::memset(lpBuffer, 0, sizeof(MEMORY_BASIC_INFORMATION));
  lpBuffer->BaseAddress = reinterpret_cast<PVOID>(reinterpret_cast<std::uintptr_t>(lpAddress) & ~(page_size - 1));
  lpBuffer->RegionSize = page_size;
  Dl_info info{};
  if (lpAddress != nullptr && dladdr(lpAddress, &info) != 0 && info.dli_fbase != nullptr) {
    lpBuffer->AllocationBase = info.dli_fbase;
    lpBuffer->State = MEM_COMMIT;
    lpBuffer->Type = MEM_IMAGE;
  } else {
    lpBuffer->State = MEM_FREE;
  }
  return sizeof(MEMORY_BASIC_INFORMATION);
}
