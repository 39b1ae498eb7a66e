// The program's status line (status_line.h) on standard error, and what
// feeds it: the setting that allows it, the facts that the stand-in's
// functions note as the program calls them, the LAN sources' waits, and
// the writes that must keep in step with it (the program's messages, and
// what WriteFile sends to the same terminal). The line is drawn only when
// standard error is a terminal: never one byte of it to a file or a pipe.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "platform/lan/progress_report.h"
#include "platform/standin/console/status_line.h"

namespace standin {

// The setting: "on" (the default) or "off", in any case.
inline constexpr const char* kProgressVariable = "KESTROVA_PROGRESS";

// Whether the setting's `value` (null: unset) allows the line. Unset,
// empty, "on": yes; "off": no; any other value is named on diagnostics
// and the default applies.
bool ProgressSettingAllows(const char* value, std::ostream& diagnostics);

// Reads the setting (its message goes to ProgramDiagnostics) and, where
// it allows the line and standard error is a terminal that can erase a
// line (TERM is not "dumb"), starts the line there: the run's time counts
// from now, and the line is erased when the process exits. Once per
// process; later calls do nothing.
void StartProgramStatus();

// Standard error as the stream of the program's messages, in step with
// the line (message_buffer.h). Lives as long as the process.
std::ostream& ProgramDiagnostics();

// What LAN sources tell of their waits: the line, or nowhere without one.
lan::ProgressReport& ProgramProgress();

// Discovery handed out `count` more servers.
void NoteComputersFound(std::uint64_t count);
// The program connects to the registry of the computer `name`: the next
// computer is listed.
void NoteComputerListed(std::string_view name);

// Held while WriteFile writes to a terminal `descriptor`: when it is the
// line's terminal, the line is erased first and told what was sent.
class ProgramOutput {
 public:
  explicit ProgramOutput(int descriptor);
  void Sent(std::string_view bytes) {
    if (output_) output_->Sent(bytes);
  }

 private:
  std::optional<StatusLine::Output> output_;
};

// Erases the line and ends it; the messages' unfinished line is written.
// At exit, and before.
void EndProgramStatus();

}  // namespace standin
