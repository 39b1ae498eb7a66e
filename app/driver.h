// The program's main block: the usage line, or the inventory report.
#pragma once

void RunInventory();
