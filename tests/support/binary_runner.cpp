#include "tests/support/binary_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace testing_support {
namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

using Clock = std::chrono::steady_clock;

using HoldPredicate = std::function<bool(const std::string&)>;

// Reads the open descriptors until each reports its end; false when the
// deadline comes first. `out` is not read while `hold_out_until` (if set)
// is false for what `err` gave so far.
bool Drain(int out, std::string* out_bytes, int err, std::string* err_bytes, Clock::time_point deadline,
           const HoldPredicate& hold_out_until = nullptr) {
  pollfd entries[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  std::string* sinks[2] = {out_bytes, err_bytes};
  int open_count = (out >= 0) + (err >= 0);
  bool holding = hold_out_until != nullptr;
  while (open_count > 0) {
    if (holding && hold_out_until(*err_bytes)) holding = false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd polled[2] = {entries[0], entries[1]};
    if (holding) polled[0].fd = -1;
    if (poll(polled, 2, static_cast<int>(std::min<long long>(left, holding ? 100 : 1000))) < 0) {
      if (errno == EINTR) continue;
      Check(false, "poll");
    }
    for (int i = 0; i < 2; ++i) {
      if (polled[i].fd < 0 || polled[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t count = read(entries[i].fd, chunk, sizeof chunk);
      if (count > 0) {
        sinks[i]->append(chunk, static_cast<std::size_t>(count));
        continue;
      }
      if (count < 0 && errno == EINTR) continue;
      entries[i].fd = -1;  // end of file, or EIO from a terminal whose other side is closed
      --open_count;
    }
  }
  return true;
}

// A pseudo-terminal in raw mode, `columns` wide unless 0.
void OpenTerminal(int& master, int& terminal, unsigned short columns) {
  master = posix_openpt(O_RDWR | O_NOCTTY);
  Check(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0, "posix_openpt");
  terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  Check(terminal >= 0, "open terminal");
  termios mode{};
  tcgetattr(terminal, &mode);
  cfmakeraw(&mode);
  tcsetattr(terminal, TCSANOW, &mode);
  if (columns != 0) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    ioctl(master, TIOCSWINSZ, &size);
  }
}

// A temporary file for the child to write, opened; its path in `path`.
int OpenTemporaryFile(std::string& path) {
  char name[] = "/tmp/kestrova-output-XXXXXX";
  const int file = mkstemp(name);
  Check(file >= 0, "mkstemp");
  path = name;
  return file;
}

// Appends what the file at `path` holds to `bytes`, and removes it.
void TakeFile(const std::string& path, std::string& bytes) {
  const int file = open(path.c_str(), O_RDONLY);
  std::string ignored;
  Drain(file, &bytes, -1, &ignored, Clock::time_point::max());
  close(file);
  unlink(path.c_str());
}

std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (changes.count(name) == 0) entries.push_back(text);
  }
  for (const auto& [name, value] : changes) entries.push_back(name + "=" + value);
  return entries;
}

}  // namespace

RunResult RunBinary(const std::string& path, const RunOptions& options) {
  int child_err = -1;   // what becomes descriptor 2 in the child
  int parent_err = -1;  // what the parent reads
  std::string err_file_path;
  switch (options.Errors) {
    case ErrorTarget::Pipe: {
      int err_pipe[2];
      Check(pipe(err_pipe) == 0, "pipe");
      child_err = err_pipe[1];
      parent_err = err_pipe[0];
      break;
    }
    case ErrorTarget::File:
      child_err = OpenTemporaryFile(err_file_path);
      break;
    case ErrorTarget::Terminal:
      OpenTerminal(parent_err, child_err, options.TerminalColumns);
      break;
  }
  int child_out = -1;   // what becomes descriptor 1 in the child
  int parent_out = -1;  // what the parent reads
  std::string file_path;
  switch (options.Output) {
    case OutputTarget::Pipe:
    case OutputTarget::ReaderGone: {
      int out_pipe[2];
      Check(pipe(out_pipe) == 0, "pipe");
      child_out = out_pipe[1];
      parent_out = out_pipe[0];
      // The least a pipe holds: one page.
      if (options.HoldOutputUntil) fcntl(child_out, F_SETPIPE_SZ, 4096);
      if (options.Output == OutputTarget::ReaderGone) {
        close(parent_out);
        parent_out = -1;
      }
      break;
    }
    case OutputTarget::File:
      child_out = OpenTemporaryFile(file_path);
      break;
    case OutputTarget::Terminal:
      OpenTerminal(parent_out, child_out, options.TerminalColumns);
      break;
    case OutputTarget::FullDevice:
      child_out = open("/dev/full", O_WRONLY);
      Check(child_out >= 0, "open /dev/full");
      break;
    case OutputTarget::Closed:
      break;
  }

  std::vector<std::string> arguments = {path};
  arguments.insert(arguments.end(), options.Arguments.begin(), options.Arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = EnvironmentWith(options.Environment);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const pid_t child = fork();
  Check(child >= 0, "fork");
  if (child == 0) {
    const int null_input = open("/dev/null", O_RDONLY);
    if (null_input >= 0) dup2(null_input, STDIN_FILENO);
    dup2(options.ErrorsToTerminal && options.Output == OutputTarget::Terminal ? child_out : child_err, STDERR_FILENO);
    if (child_out >= 0) {
      dup2(child_out, STDOUT_FILENO);
    } else {
      close(STDOUT_FILENO);
    }
    for (int descriptor = 3; descriptor < 256; ++descriptor) close(descriptor);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(child_err);
  if (child_out >= 0) close(child_out);

  RunResult result;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.TimeLimitSeconds);
  if (!Drain(parent_out, &result.Stdout, parent_err, &result.Stderr, deadline, options.HoldOutputUntil)) {
    kill(child, SIGKILL);
  }
  if (parent_err >= 0) close(parent_err);
  if (parent_out >= 0) close(parent_out);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.Signal = WTERMSIG(status);
  if (!file_path.empty()) TakeFile(file_path, result.Stdout);
  if (!err_file_path.empty()) TakeFile(err_file_path, result.Stderr);
  return result;
}

std::string KestrovaPath() { return KESTROVA_BINARY_PATH; }

}  // namespace testing_support
