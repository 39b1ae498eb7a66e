// The program's entry.
#include "app/driver.h"
#include "registry/startup_facts.h"
#include "runtime/process.h"

int main() {
  ConsoleProcess = true;
  RunProgram({RegistryUnit()}, RunInventory);
}
