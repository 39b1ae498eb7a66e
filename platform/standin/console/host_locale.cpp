#include "platform/standin/console/host_locale.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

namespace standin {

bool HostLocaleIsUtf8() {
  static const bool utf8 = [] {
    locale_t host = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (host == static_cast<locale_t>(nullptr)) return false;
    const char* codeset = nl_langinfo_l(CODESET, host);
    const bool is_utf8 = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0);
    freelocale(host);
    return is_utf8;
  }();
  return utf8;
}

}  // namespace standin
