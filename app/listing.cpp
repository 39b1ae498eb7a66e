#include "app/inventory.h"

void ListInstalledApplications(const Text& /*computer*/, const Text& /*app_name*/) {}
