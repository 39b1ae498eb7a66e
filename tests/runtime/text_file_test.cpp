#include "runtime/text_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/standin/console/console_control.h"
#include "runtime/error_support.h"
#include "runtime/io_error.h"
#include "runtime/process.h"
#include "tests/support/raw_terminal.h"

namespace {

// Standard output redirected to a descriptor of the test's choosing, with
// the core and error support started as the program starts them.
class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeCore();
    InstallErrorSupport();
    PendingIoError = 0;
  }
  void TearDown() override {
    SetStdHandle(STD_OUTPUT_HANDLE, standin::HandleFromDescriptor(STDOUT_FILENO));
    RemoveErrorSupport();
    // CloseHandle, so that WriteFile forgets what it decided about each.
    for (int descriptor : descriptors_) CloseHandle(standin::HandleFromDescriptor(descriptor));
  }

  void RedirectTo(int descriptor) { SetStdHandle(STD_OUTPUT_HANDLE, standin::HandleFromDescriptor(descriptor)); }

  int Keep(int descriptor) {
    descriptors_.push_back(descriptor);
    return descriptor;
  }

  // A pipe whose read end never blocks; returns the read end.
  int RedirectToPipe() {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    Keep(ends[0]);
    write_end_ = Keep(ends[1]);
    RedirectTo(write_end_);
    return ends[0];
  }

  // The error that PutLine raises, or an empty code when it raises none.
  static std::int32_t CodeRaisedBy(std::string_view line, std::string* message = nullptr) {
    try {
      PutLine(line);
    } catch (const EInOutError& error) {
      if (message != nullptr) *message = error.MessageText;
      return error.IoCode;
    }
    return 0;
  }

  int write_end_ = -1;
  std::vector<int> descriptors_;
};

TEST_F(TextFileTest, APipeGetsBlocksOfExactly128BytesAndTheRestAtTheEnd) {
  const int reader = RedirectToPipe();
  PutLine("COMPUTER: PC01");
  EXPECT_EQ(testing_support::ReadAvailable(reader), "") << "a short line waits in the buffer";
  const std::string long_line(200, 'x');
  PutLine(long_line);
  std::string expected = "COMPUTER: PC01\r\n" + long_line + "\r\n";
  EXPECT_EQ(testing_support::ReadAvailable(reader), expected.substr(0, 128));
  PutLine("");
  EXPECT_EQ(testing_support::ReadAvailable(reader), "");
  expected += "\r\n";
  EXPECT_EQ(FlushOutput(), 0);
  EXPECT_EQ(testing_support::ReadAvailable(reader), expected.substr(128));
  EXPECT_EQ(PendingIoError, 0);
}

TEST_F(TextFileTest, ALineThatFillsTheEmptyBufferIsWrittenAtOnce) {
  const int reader = RedirectToPipe();
  const std::string line(126, 'a');
  PutLine(line);
  EXPECT_EQ(testing_support::ReadAvailable(reader), line + "\r\n");
  EXPECT_EQ(StdOut.BufferPosition, 0u);
}

TEST_F(TextFileTest, ATerminalGetsEveryLineAtItsEnd) {
  int master = -1;
  int terminal = -1;
  const bool opened = testing_support::OpenRawTerminal(master, terminal);
  Keep(master);
  Keep(terminal);
  ASSERT_TRUE(opened);
  RedirectTo(terminal);

  PutLine("COMPUTER: PC01");
  usleep(10000);
  EXPECT_EQ(testing_support::ReadAvailable(master), "COMPUTER: PC01\r\n");
  // e-acute in UTF-8, two letters of a single-byte code page: the
  // terminal shows it under either locale.
  PutLine(" -> \xC3\xA9tude");
  usleep(10000);
  EXPECT_EQ(testing_support::ReadAvailable(master), " -> \xC3\xA9tude\r\n");
}

TEST_F(TextFileTest, AMissingHandleGives105AtEveryLine) {
  SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
  std::string message;
  EXPECT_EQ(CodeRaisedBy("first", &message), 105);
  EXPECT_EQ(message, "I/O error 105");
  EXPECT_EQ(StdOut.Mode, ModeClosed);
  EXPECT_EQ(CodeRaisedBy("second"), 105) << "every write tries to open again";
  EXPECT_EQ(PendingIoError, 0);
}

TEST_F(TextFileTest, AFullDeviceFailsAtTheLineThatFillsTheBuffer) {
  RedirectTo(Keep(open("/dev/full", O_WRONLY)));
  EXPECT_EQ(CodeRaisedBy(std::string(100, 'a')), 0);
  std::string message;
  EXPECT_EQ(CodeRaisedBy(std::string(100, 'b'), &message), 112);
  EXPECT_EQ(message, "I/O error 112");
  // The rest of the failed line is dropped; its line end is still taken.
  EXPECT_EQ(StdOut.BufferPosition, 2u);
}

TEST_F(TextFileTest, AVanishedReaderIsAFailedWrite) {
  const int reader = RedirectToPipe();
  close(reader);
  descriptors_.erase(descriptors_.begin());
  EXPECT_EQ(CodeRaisedBy(std::string(126, 'z')), 232);
}

TEST_F(TextFileTest, FlushingAnUnopenedFileDoesNothing) {
  EXPECT_EQ(FlushOutput(), 0);
  EXPECT_EQ(StdOut.Mode, ModeClosed);
  CloseTextFile(StdOut);
  EXPECT_EQ(PendingIoError, 0);
}

TEST(IoErrorTest, MessagesFollowTheTableAndTakingClearsTheCode) {
  struct Case {
    std::int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {2, "File not found"},          {3, "Invalid filename"},          {4, "Too many open files"},
      {5, "File access denied"},      {100, "Read beyond end of file"}, {101, "Disk full"},
      {106, "Invalid numeric input"}, {105, "I/O error 105"},           {112, "I/O error 112"},
      {-7, "I/O error -7"},
  };
  for (const Case& c : cases) {
    PendingIoError = c.code;
    const EInOutError error = MakeIoError();
    EXPECT_EQ(error.MessageText, c.message);
    EXPECT_EQ(error.IoCode, c.code);
    EXPECT_EQ(PendingIoError, 0);
  }
}

}  // namespace
