#include "platform/standin/registry/registry_access.h"

#include "platform/standin/locale/code_pages.h"

namespace standin {

REGSAM RequestedRights(REGSAM desired) {
  REGSAM rights = desired & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                              GENERIC_ALL | MAXIMUM_ALLOWED);
  if (desired & GENERIC_READ) rights |= KEY_READ;
  if (desired & GENERIC_WRITE) rights |= KEY_WRITE;
  if (desired & GENERIC_EXECUTE) rights |= KEY_EXECUTE;
  if (desired & GENERIC_ALL) rights |= KEY_ALL_ACCESS;
  return rights;
}

LONG Resolve(HKEY hKey, REGSAM needed, OpenKey& open) {
  if (!FindRegistryHandle(hKey, open)) return Status(ERROR_INVALID_HANDLE);
  const auto* local = std::get_if<LocalKey>(&open.Target);
  if (local != nullptr && local->Key->Deleted()) return Status(ERROR_KEY_DELETED);
  if ((open.Granted & needed) != needed) return Status(ERROR_ACCESS_DENIED);
  return ERROR_SUCCESS;
}

LanBuffers& LanScratch() {
  // The stand-in's registry functions run on one thread at a time;
  // thread_local keeps the buffers apart should that change.
  thread_local LanBuffers buffers;
  // A buffer that one large value or name made large is given back at the
  // next call, so that what stays in use does not grow with the LAN.
  constexpr std::size_t kKeptBytes = 64 * 1024;
  if (buffers.Ansi.capacity() > kKeptBytes) std::string().swap(buffers.Ansi);
  if (buffers.Wide.capacity() * sizeof(char16_t) > kKeptBytes) std::u16string().swap(buffers.Wide);
  if (buffers.Stored.capacity() > kKeptBytes) std::string().swap(buffers.Stored);
  return buffers;
}

LONG LanPath(const char* path, LanBuffers& buffers) {
  // Most paths are written with one backslash between two names already
  // and are converted as they are; only other ones are rewritten.
  std::string_view normal;
  const LONG status = NormalSubkeyPath(path, buffers.Ansi, normal);
  if (status != ERROR_SUCCESS) return status;
  Utf16FromAnsi(normal, buffers.Wide);
  return ERROR_SUCCESS;
}

}  // namespace standin
