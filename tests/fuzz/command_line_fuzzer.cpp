// Splits arbitrary command lines, in a single-byte and a double-byte code
// page, and checks what the splitting rules promise: every walk ends
// inside the line, an argument never holds more bytes than the walk
// passed, an empty argument is the end of the arguments, and the count
// agrees with the arguments read by position.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/standin/console/console_control.h"
#include "platform/standin/locale/locale_control.h"
#include "runtime/command_line.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void SplitAndCheck(const std::string& line) {
  const char* const start = line.c_str();
  const char* const end = start + line.size();
  const char* cursor = start;
  std::int32_t count = -1;  // the leading word is not counted
  for (;;) {
    const char* before = cursor;
    const Text argument = NextArgument(cursor);
    Check(cursor >= before && cursor <= end);
    Check(argument.size() <= static_cast<std::size_t>(cursor - before));
    if (argument.empty()) {
      // Nothing after an empty argument is an argument.
      Check(NextArgument(cursor).empty());
      break;
    }
    ++count;
    Check(cursor > before);
  }
  standin::SetCommandLineForTesting(line);
  const std::int32_t counted = ArgumentCount();
  Check(counted == (count < 0 ? 0 : count));
  Check(ArgumentAt(counted + 1).empty());
  if (counted > 0) Check(!ArgumentAt(counted).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The line ends at its first zero byte, as the platform hands it out.
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find('\0'));
  standin::SetLocaleFactsForTesting({});
  SplitAndCheck(line);
  standin::SetLocaleFactsForTesting({.AnsiCodePage = 932});
  SplitAndCheck(line);
  return 0;
}
