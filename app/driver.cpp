#include "app/driver.h"

#include "app/inventory.h"
#include "runtime/command_line.h"
#include "runtime/process.h"
#include "runtime/string_list.h"
#include "runtime/text_file.h"

namespace {

constexpr const char* kUsageLine = "Command line parameters: Kestrova.exe [ * | AppName]";
constexpr const char* kComputerHeader = "COMPUTER: ";

// Discovery completes before the first header line; each computer's block
// is its header, its application lines and an empty line.
void ReportComputers() {
  TStringList computers;
  CollectLanComputers(computers);
  const std::int32_t count = computers.Count();
  for (std::int32_t index = 0; index < count; ++index) {
    PutLine(JoinTexts(kComputerHeader, computers.Get(index)));
    ListInstalledApplications(computers.Get(index), ArgumentAt(1));
    PutLine("");
  }
}

}  // namespace

void RunInventory() {
  if (ArgumentCount() == 0) {
    PutLine(kUsageLine);
    EndProcess();
  }
  ReportComputers();
  EndProcess();
}
