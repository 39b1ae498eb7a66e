// The process's command line, as Windows presents it: GetCommandLineA.
#include <string>

#include "platform/standin/console/console_control.h"
#include "platform/standin/console/process_start.h"

namespace {

// Wraps an argument in double quotes when it is empty or holds a byte
// that would otherwise split it (0x01 to 0x20); every other argument is
// taken as it is, so quotes typed inside an argument still act as quotes.
void AppendArgument(std::string& line, const char* argument) {
  bool needs_quotes = *argument == '\0';
  for (const char* p = argument; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) <= 0x20) needs_quotes = true;
  }
  if (needs_quotes) line.push_back('"');
  line.append(argument);
  if (needs_quotes) line.push_back('"');
}

// The program path first, then each argument, separated by one space.
std::string FormCommandLine() {
  std::string line;
  const int count = standin::StartArgumentCount();
  char** arguments = standin::StartArguments();
  for (int i = 0; i < count && arguments != nullptr && arguments[i] != nullptr; ++i) {
    if (i > 0) line.push_back(' ');
    AppendArgument(line, arguments[i]);
  }
  return line;
}

std::string& CommandLine() {
  static std::string line = FormCommandLine();
  return line;
}

}  // namespace

namespace standin {

void SetCommandLineForTesting(std::string_view command_line) { CommandLine().assign(command_line); }

}  // namespace standin

LPSTR WINAPI GetCommandLineA() { return CommandLine().data(); }
