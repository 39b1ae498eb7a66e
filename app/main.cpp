// The program's entry.
#include "app/driver.h"
#include "registry/startup_facts.h"
#include "runtime/program.h"

int main() {
  ConsoleProcess = true;
  RunProgram({RegistryUnit()}, RunInventory);
}
