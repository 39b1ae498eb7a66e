// The stand-in's console and process services over POSIX descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <thread>

#include "platform/standin/console/console_control.h"
#include "platform/standin/console/windows_error.h"
#include "platform/windows_api.h"

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
  close(ends[1]);
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

}  // namespace
