// The program's entry.
#include "app/driver.h"
#include "runtime/process.h"

int main() {
  ConsoleProcess = true;
  RunProgram({}, RunInventory);
}
