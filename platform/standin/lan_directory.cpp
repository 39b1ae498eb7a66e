#include "platform/standin/lan.h"

namespace standin {

Lan LoadLanFromEnvironment() { return Lan{}; }

}  // namespace standin
