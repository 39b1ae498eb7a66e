#include "runtime/exception.h"

void Raise(Exception&& error) { RaiseAt(error, KESTROVA_RETURN_ADDRESS()); }

void RaiseAt(Exception& error, const void* address) {
  error.RaiseAddress = address;
  error.ThrowSelf();
  __builtin_unreachable();  // ThrowSelf never returns, in every class
}
