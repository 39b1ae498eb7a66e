// Characters of ANSI text: CharNextA and CharToOemA.
#include <cstring>
#include <string>

#include "platform/standin/locale/code_pages.h"

LPSTR WINAPI CharNextA(LPCSTR lpsz) {
  if (*lpsz == '\0') return const_cast<LPSTR>(lpsz);
  if (standin::IsLeadByteOf(CP_ACP, static_cast<BYTE>(*lpsz)) && lpsz[1] != '\0') return const_cast<LPSTR>(lpsz + 2);
  return const_cast<LPSTR>(lpsz + 1);
}

// Converts in place or into pDst, from the ANSI to the OEM code page.
// Characters that the OEM code page lacks become '?'.
BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst) {
  if (pSrc == nullptr || pDst == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::size_t length = std::strlen(pSrc);
  const UINT ansi = GetACP();
  const UINT oem = GetOEMCP();
  if (ansi == oem) {
    if (pDst != pSrc) std::memmove(pDst, pSrc, length + 1);
    return TRUE;
  }
  const auto converted = standin::ConvertEncoding(std::string_view(pSrc, length), standin::IconvCodePageName(ansi),
                                                  standin::IconvCodePageName(oem));
  std::string oem_text = converted.value_or(std::string(pSrc, length));
  oem_text.resize(length, '?');  // the same number of bytes, as in place
  std::memcpy(pDst, oem_text.c_str(), length + 1);
  return TRUE;
}
