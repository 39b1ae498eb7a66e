// Starts a program as Windows starts one whose standard output is closed:
// its standard output handle is null (or, with --invalid-handle,
// INVALID_HANDLE_VALUE), while standard input and standard error are this
// program's own. Waits for it and ends with its exit code.
//   start_without_output [--invalid-handle] PROGRAM [ARGUMENT...]
// The rest of the command line after the options is the program's command
// line, unchanged.
//
// Starting Wine from a Unix shell with descriptor 1 closed does not give
// this: Wine's start-up opens the working directory on the lowest free
// descriptor, 1, and the program's standard output becomes a handle to that
// directory, on which every write fails with ERROR_INVALID_HANDLE.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The command line after its first argument, split by the rules that
// programs use for their own name: a quoted stretch, or up to a blank.
const wchar_t* AfterFirstArgument(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line != L'\0' && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int main() {
  const wchar_t* rest = AfterFirstArgument(GetCommandLineW());
  HANDLE output = nullptr;
  constexpr const wchar_t kInvalidHandleOption[] = L"--invalid-handle";
  constexpr std::size_t kOptionLength = sizeof kInvalidHandleOption / sizeof(wchar_t) - 1;
  if (std::wcsncmp(rest, kInvalidHandleOption, kOptionLength) == 0 &&
      (rest[kOptionLength] == L' ' || rest[kOptionLength] == L'\t')) {
    output = INVALID_HANDLE_VALUE;
    rest = AfterFirstArgument(rest);
  }
  if (*rest == L'\0') {
    std::fprintf(stderr, "usage: start_without_output [--invalid-handle] PROGRAM [ARGUMENT...]\n");
    return 2;
  }

  std::wstring command_line(rest);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "start_without_output: cannot start the program: error %lu\n", GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 2;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hProcess);
  return static_cast<int>(exit_code);
}
