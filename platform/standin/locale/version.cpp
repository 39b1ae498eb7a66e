// The system's version: GetVersionExA, Windows 8's numbers, and the
// platform of the NT family unless a test says otherwise.
#include <cstring>

#include "platform/standin/locale/locale_overrides.h"

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (lpVersionInformation == nullptr || lpVersionInformation->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA) ||
      standin::LocaleOverrides().VersionFails.value_or(false)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  lpVersionInformation->dwMajorVersion = 6;
  lpVersionInformation->dwMinorVersion = 2;
  lpVersionInformation->dwBuildNumber = 9200;
  lpVersionInformation->dwPlatformId = standin::LocaleOverrides().PlatformId.value_or(VER_PLATFORM_WIN32_NT);
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
  return TRUE;
}
