// Which module holds an address, as VirtualQuery answers it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "platform/windows_api.h"

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
