#include "platform/standin/console/process_start.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace standin {
namespace {

// Plain data only: this is filled in before static constructors run.
int start_argument_count = 0;
char** start_arguments = nullptr;
bool standard_descriptor_open[3] = {true, true, true};

// The C library calls the entries of .init_array with the program's
// arguments, so the stand-in sees them without help from main.
void CaptureProcessStart(int argc, char** argv, char** /*envp*/) {
  start_argument_count = argc;
  start_arguments = argv;
  for (int descriptor = 0; descriptor < 3; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1) continue;
    standard_descriptor_open[descriptor] = false;
    // Occupy the slot so that a file opened later does not become
    // standard output by accident.
    const int placeholder = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (placeholder != -1 && placeholder != descriptor) {
      dup2(placeholder, descriptor);
      close(placeholder);
    }
  }
  // A reader that goes away makes writes fail with EPIPE instead of
  // ending the process.
  std::signal(SIGPIPE, SIG_IGN);
}

[[gnu::used, gnu::section(".init_array")]] void (*const capture_process_start)(int, char**,
                                                                               char**) = &CaptureProcessStart;

}  // namespace

int StartArgumentCount() { return start_argument_count; }
char** StartArguments() { return start_arguments; }

bool StandardDescriptorWasOpen(int descriptor) {
  return descriptor < 0 || descriptor > 2 || standard_descriptor_open[descriptor];
}

}  // namespace standin
