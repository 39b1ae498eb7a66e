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
  return buffers;
}

LONG LanPath(const char* path, std::u16string& wide) {
  // Most paths are written with one backslash between two names already
  // and are converted as they are; only other ones are rewritten.
  std::string_view normal;
  const LONG status = NormalSubkeyPath(path, LanScratch().Ansi, normal);
  if (status != ERROR_SUCCESS) return status;
  Utf16FromAnsi(normal, wide);
  return ERROR_SUCCESS;
}

}  // namespace standin
