#include "platform/standin/console/program_status.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/ascii_case.h"
#include "platform/lan/visible_text.h"
#include "platform/standin/console/host_locale.h"
#include "platform/standin/console/message_buffer.h"

namespace standin {
namespace {

// Both live as long as the process, so that a thread that notes a fact or
// writes a message while the process exits finds them in place.
MessageBuffer& Messages() {
  static auto* const buffer = new MessageBuffer(STDERR_FILENO);
  return *buffer;
}

std::atomic<StatusLine*> running_line{nullptr};

bool TerminalCanEraseLines() {
  const char* terminal = std::getenv("TERM");
  return terminal == nullptr || std::strcmp(terminal, "dumb") != 0;
}

}  // namespace

bool ProgressSettingAllows(const char* value, std::ostream& diagnostics) {
  if (value == nullptr || value[0] == '\0' || ascii_case::Same(value, "on")) return true;
  if (ascii_case::Same(value, "off")) return false;
  diagnostics << "kestrova: " << kProgressVariable << "=\"" << lan::VisibleText(value)
              << "\" is neither on nor off; the default, on, applies\n";
  return true;
}

void StartProgramStatus() {
  static bool started = false;
  if (started) return;
  started = true;
  if (!ProgressSettingAllows(std::getenv(kProgressVariable), ProgramDiagnostics())) return;
  if (isatty(STDERR_FILENO) == 0 || !TerminalCanEraseLines()) return;
  static auto* const line = new StatusLine(STDERR_FILENO, HostLocaleIsUtf8());
  Messages().FollowLine(line);
  running_line.store(line);
  std::atexit(EndProgramStatus);
  line->StartTimer();
}

std::ostream& ProgramDiagnostics() {
  static auto* const stream = [] {
    auto* made = new std::ostream(&Messages());
    made->setf(std::ios::unitbuf);
    return made;
  }();
  return *stream;
}

lan::ProgressReport& ProgramProgress() {
  StatusLine* line = running_line.load();
  return line != nullptr ? static_cast<lan::ProgressReport&>(*line) : lan::NoProgressReport();
}

void NoteComputersFound(std::uint64_t count) {
  if (StatusLine* line = running_line.load()) line->ComputersFound(count);
}

void NoteComputerListed(std::string_view name) {
  if (StatusLine* line = running_line.load()) line->ListingComputer(name);
}

ProgramOutput::ProgramOutput(int descriptor) {
  StatusLine* line = running_line.load();
  if (line != nullptr && line->SharesTerminal(descriptor)) output_.emplace(*line);
}

void EndProgramStatus() {
  StatusLine* line = running_line.exchange(nullptr);
  if (line == nullptr) return;
  line->Stop();
  Messages().FollowLine(nullptr);
}

}  // namespace standin
