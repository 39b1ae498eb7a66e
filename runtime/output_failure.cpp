#include "runtime/output_failure.h"

thread_local std::int32_t PendingIoError = 0;

namespace {

OutputFailureHandler installed_handler = nullptr;

}  // namespace

OutputFailureHandler SetOutputFailureHandler(OutputFailureHandler handler) {
  const OutputFailureHandler previous = installed_handler;
  installed_handler = handler;
  return previous;
}

void CheckIo() {
  if (PendingIoError == 0 || installed_handler == nullptr) return;
  installed_handler(KESTROVA_RETURN_ADDRESS());
}
