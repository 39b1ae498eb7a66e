// The stand-in's console and process services over POSIX descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "platform/standin/console/console_control.h"
#include "platform/standin/console/terminal_text.h"
#include "platform/standin/console/windows_error.h"
#include "platform/windows_api.h"
#include "tests/support/raw_terminal.h"

namespace {

TEST(StandinConsoleTest, HostErrorsBecomeTheDocumentedWindowsCodes) {
  struct Case {
    int error_number;
    DWORD code;
  };
  const Case cases[] = {
      {ENOENT, 2},         {ENOTDIR, 3},  {EMFILE, 4},      {ENFILE, 4},      {EACCES, 5},
      {EPERM, 5},          {EISDIR, 5},   {EBADF, 6},       {ENOMEM, 8},      {EROFS, 19},
      {ENODEV, 55},        {ENXIO, 55},   {ECONNRESET, 64}, {EEXIST, 80},     {EINVAL, 87},
      {ESPIPE, 87},        {ENOSPC, 112}, {EDQUOT, 112},    {ENOTEMPTY, 145}, {EBUSY, 170},
      {ENAMETOOLONG, 206}, {EFBIG, 223},  {EPIPE, 232},     {EIO, 1117},      {ETIMEDOUT, 1460},
      {ELOOP, 31},         {0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(standin::WindowsErrorFromErrno(c.error_number), c.code) << c.error_number;
}

TEST(StandinConsoleTest, DescriptorsAreSortedIntoTheWindowsFileTypes) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const int null_device = open("/dev/null", O_WRONLY);
  char name[] = "/tmp/kestrova-type-XXXXXX";
  const int file = mkstemp(name);
  unlink(name);
  EXPECT_EQ(GetFileType(standin::HandleFromDescriptor(ends[1])), FILE_TYPE_PIPE);
  EXPECT_EQ(GetFileType(standin::HandleFromDescriptor(file)), FILE_TYPE_DISK);
  EXPECT_EQ(GetFileType(standin::HandleFromDescriptor(null_device)), FILE_TYPE_DISK);
  for (int descriptor : {ends[0], ends[1], null_device, file}) close(descriptor);
  EXPECT_EQ(GetFileType(standin::HandleFromDescriptor(file)), FILE_TYPE_UNKNOWN);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetFileType(INVALID_HANDLE_VALUE), FILE_TYPE_UNKNOWN);
  EXPECT_EQ(GetStdHandle(12345), INVALID_HANDLE_VALUE);
}

TEST(StandinConsoleTest, AWriteToAFullNonBlockingPipeWaitsForTheReader) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const std::string bytes(1 << 20, 'k');
  std::string received;
  std::thread reader([&] {
    char chunk[4096];
    for (;;) {
      const ssize_t count = read(ends[0], chunk, sizeof chunk);
      if (count <= 0) break;
      received.append(chunk, static_cast<std::size_t>(count));
      if (received.size() % (64 * 1024) == 0) usleep(1000);
    }
  });
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(standin::HandleFromDescriptor(ends[1]), bytes.data(), static_cast<DWORD>(bytes.size()),
                        &written, nullptr));
  EXPECT_EQ(written, bytes.size());
  CloseHandle(standin::HandleFromDescriptor(ends[1]));
  reader.join();
  close(ends[0]);
  EXPECT_EQ(received.size(), bytes.size());
}

TEST(StandinConsoleTest, AModulePathThatDoesNotFitIsCutAndZeroTerminated) {
  char path[PATH_MAX];
  const DWORD full = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(full, 4u);
  char small[5];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(small), std::string(path, 4));
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, 0), 0u);
  // A module handle that is no module.
  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(std::uintptr_t{0x10}), path, sizeof path), 0u);
  EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
}

// What a terminal is sent for the given writes, one call each.
std::string ShownOnTerminal(bool utf8, const std::vector<std::string>& writes) {
  standin::TerminalText text(utf8);
  std::string shown;
  for (const std::string& bytes : writes) {
    std::vector<char> room(bytes.size() + standin::TerminalText::kMostHeld);
    shown.append(room.data(), text.Show(bytes, room));
  }
  return shown;
}

TEST(StandinConsoleTest, ATerminalIsSentNoControlCharacter) {
  struct Case {
    const char* name;
    bool utf8;
    std::vector<std::string> writes;
    std::string shown;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"window title", true, {"\x1B]0;owned\x07 App"}, "?]0;owned? App"},
      {"clear screen", true, {"\x1B[2J\x1B[H"}, "?[2J?[H"},
      {"DEL and backspace", true, {"a\x7F\x08z"}, "a??z"},
      {"line ends, tabs and NUL are kept", true, {"a\tb\r\n\0"s}, "a\tb\r\n\0"s},
      {"C1 in UTF-8, CSI and OSC", true, {"\xC2\x9BH \xC2\x9D;x"}, "??H ??;x"},
      {"a lone C1 byte is no UTF-8", true, {"\x9BH"}, "?H"},
      {"letters are kept",
       true,
       {"caf\xC3\xA9 \xE6\x97\xA5 \xC2\xA0 \xF0\x9F\x98\x80"},
       "caf\xC3\xA9 \xE6\x97\xA5 \xC2\xA0 \xF0\x9F\x98\x80"},
      {"overlong CSI", true, {"\xC0\x9B|\xE0\x82\x9B|\xC1\xBF"}, "??|???|??"},
      {"surrogate and beyond U+10FFFF", true, {"\xED\xA0\x80|\xF4\x90\x80\x80|\xFF"}, "???|????|?"},
      {"a character cut short by ESC", true, {"\xE6\x97\x1B[2J"}, "???[2J"},
      {"C1 split between writes", true, {"x\xC2", "\x9BH"}, "x??H"},
      {"a letter split between writes", true, {"\xF0\x9F", "\x98", "\x80!"}, "\xF0\x9F\x98\x80!"},
      {"ESC split from its sequence", true, {"\x1B", "[2J"}, "?[2J"},
      {"a cut character waits for the next write", true, {"ok\xE6"}, "ok"},
      {"single bytes: ESC and BEL", false, {"\x1B]0;owned\x07"}, "?]0;owned?"},
      {"single bytes: C1 and DEL", false, {"\x9BH\x9D\x85\x80\x7F"}, "?H????"},
      {"single bytes: letters are kept", false, {"caf\xE9 \xC9t\xE9 \xA0\xFF"}, "caf\xE9 \xC9t\xE9 \xA0\xFF"},
      {"single bytes: UTF-8 C1 cannot pass", false, {"\xC2", "\x9B"}, "\xC2?"},
      {"single bytes: line ends, tabs and NUL", false, {"\t\r\n\0"s}, "\t\r\n\0"s},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShownOnTerminal(c.utf8, c.writes), c.shown) << c.name;
    // However the same bytes are split into writes, the terminal is sent
    // the same.
    std::string whole;
    for (const std::string& bytes : c.writes) whole += bytes;
    std::vector<std::string> one_by_one;
    for (char byte : whole) one_by_one.emplace_back(1, byte);
    EXPECT_EQ(ShownOnTerminal(c.utf8, {whole}), c.shown) << c.name;
    EXPECT_EQ(ShownOnTerminal(c.utf8, one_by_one), c.shown) << c.name;
  }
}

TEST(StandinConsoleTest, WriteFileSendsATerminalNoControlCharacterAndAPipeEveryByte) {
  int master = -1;
  int terminal = -1;
  ASSERT_TRUE(testing_support::OpenRawTerminal(master, terminal));
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  fcntl(ends[0], F_SETFL, O_NONBLOCK);

  // The same whatever the host's locale: \x9B is C1 to an 8-bit terminal
  // and no UTF-8, and e-acute in UTF-8 is two letters in a single-byte
  // code page.
  const std::vector<std::string> writes = {"PC\x1B", "]0;owned\x07 \xC3\xA9\x9BH\r\n"};
  for (int descriptor : {terminal, ends[1]}) {
    for (const std::string& bytes : writes) {
      DWORD written = 0;
      EXPECT_TRUE(WriteFile(standin::HandleFromDescriptor(descriptor), bytes.data(), static_cast<DWORD>(bytes.size()),
                            &written, nullptr));
      EXPECT_EQ(written, bytes.size());
    }
  }
  usleep(10000);
  EXPECT_EQ(testing_support::ReadAvailable(master), "PC?]0;owned? \xC3\xA9?H\r\n");
  EXPECT_EQ(testing_support::ReadAvailable(ends[0]), writes[0] + writes[1]);
  for (int descriptor : {terminal, ends[1]}) EXPECT_TRUE(CloseHandle(standin::HandleFromDescriptor(descriptor)));
  for (int descriptor : {master, ends[0]}) close(descriptor);
}

}  // namespace
