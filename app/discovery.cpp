#include "app/inventory.h"

void CollectLanComputers(TStringList& /*computers*/) {}
