// The locale, code-page and version facts that a test has set in place of
// the host's (SetLocaleFactsForTesting).
#pragma once

#include "platform/standin/locale/locale_control.h"

namespace standin {

const LocaleFacts& LocaleOverrides();

}  // namespace standin
