// The computer's name: the host name up to its first dot, upper-cased and
// cut to the 15 characters of a NetBIOS name.
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/windows_api.h"

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
  if (nSize == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost");
  std::string name(host);
  if (const std::size_t dot = name.find('.'); dot != std::string::npos) name.resize(dot);
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  for (char& character : name) {
    if (character >= 'a' && character <= 'z') character = static_cast<char>(character - 'a' + 'A');
  }
  if (lpBuffer == nullptr || *nSize < name.size() + 1) {
    *nSize = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  std::memcpy(lpBuffer, name.c_str(), name.size() + 1);
  *nSize = static_cast<DWORD>(name.size());
  return TRUE;
}
