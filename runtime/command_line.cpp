#include "runtime/command_line.h"

#include "platform/windows_api.h"

namespace {

bool IsSeparatorOrEnd(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Walks one argument from cursor, handing every character that belongs
// to it to take(bytes, count), and leaves cursor where the walk stopped.
// Characters are stepped with CharNextA, so a double-byte character of
// the ANSI code page stays whole.
template <class Take>
void WalkArgument(const char*& cursor, Take&& take) {
  while (!IsSeparatorOrEnd(*cursor)) {
    if (*cursor == '"') {
      cursor = CharNextA(cursor);
      while (*cursor != '\0' && *cursor != '"') {
        const char* next = CharNextA(cursor);
        take(cursor, next - cursor);
        cursor = next;
      }
      if (*cursor == '"') cursor = CharNextA(cursor);
    } else {
      const char* next = CharNextA(cursor);
      take(cursor, next - cursor);
      cursor = next;
    }
  }
}

}  // namespace

Text NextArgument(const char*& cursor) {
  // The gap: separators, and pairs of quotes that would make an empty
  // argument.
  for (;;) {
    while (*cursor != '\0' && IsSeparatorOrEnd(*cursor)) cursor = CharNextA(cursor);
    if (cursor[0] == '"' && cursor[1] == '"') {
      cursor += 2;
      continue;
    }
    break;
  }
  // Measure first, then copy, so that the text is allocated once.
  const char* start = cursor;
  std::size_t length = 0;
  WalkArgument(cursor, [&](const char*, std::ptrdiff_t count) { length += static_cast<std::size_t>(count); });
  Text argument;
  argument.reserve(length);
  const char* copy = start;
  WalkArgument(
      copy, [&](const char* bytes, std::ptrdiff_t count) { argument.append(bytes, static_cast<std::size_t>(count)); });
  return argument;
}

std::int32_t ArgumentCount() {
  const char* cursor = GetCommandLineA();
  NextArgument(cursor);
  std::int32_t count = 0;
  while (!NextArgument(cursor).empty()) ++count;
  return count;
}

Text ArgumentAt(std::int32_t index) {
  if (index == 0) {
    char path[261];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return Text(path, length);
  }
  // A negative position is never reached: the line runs out first.
  const char* cursor = GetCommandLineA();
  Text argument = NextArgument(cursor);
  for (std::int32_t position = 0; position != index; ++position) {
    argument = NextArgument(cursor);
    if (argument.empty()) return Text();
  }
  return argument;
}
