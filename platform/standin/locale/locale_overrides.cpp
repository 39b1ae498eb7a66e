#include "platform/standin/locale/locale_overrides.h"

namespace standin {
namespace {

LocaleFacts overrides;

}  // namespace

const LocaleFacts& LocaleOverrides() { return overrides; }

void SetLocaleFactsForTesting(const LocaleFacts& facts) { overrides = facts; }

}  // namespace standin
