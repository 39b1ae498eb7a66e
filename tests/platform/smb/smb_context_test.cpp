#include "platform/smb/smb_context.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/smb/library_messages.h"

// Stands in for the Samba utility library's function, which the context's
// set-up finds by name in the process (this executable exports its
// symbols): it counts the calls, and no context is made in these tests.
namespace {
int thread_function_installs = 0;
}  // namespace

extern "C" __attribute__((visibility("default"))) int smb_thread_set_functions(const void* /*functions*/) {
  ++thread_function_installs;
  return 0;
}

namespace smb {
namespace {

TEST(SmbContext, LibsmbclientsThreadFunctionsAreInstalledOnce) {
  { const std::unique_lock lock = LockForConnecting(); }
  { const std::unique_lock lock = LockForTransfer(); }
  { const std::unique_lock lock = LockForConnecting(); }
  EXPECT_EQ(thread_function_installs, 1);
}

// What `write` sends to a file descriptor, `fd`, while it runs.
std::string Captured(int fd, void (*write)()) {
  const std::string path = testing::TempDir() + "kestrova-captured-" + std::to_string(fd);
  std::fflush(nullptr);
  const int saved = dup(fd);
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  dup2(file, fd);
  close(file);
  write();
  std::fflush(nullptr);
  dup2(saved, fd);
  close(saved);
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SmbContext, LibsmbclientsPrintsNeverReachStandardOutput) {
  // smbc_set_credentials is obsolete, and says so with Samba's printf to
  // standard output. (Its header declares it without C linkage.)
  const auto print = [] {
    using Obsolete = void (*)(const char*, const char*, const char*, int, const char*);
    const auto obsolete = reinterpret_cast<Obsolete>(dlsym(RTLD_DEFAULT, "smbc_set_credentials"));
    ASSERT_NE(obsolete, nullptr);
    obsolete("W", "u", "p", 0, "off");
  };
  ShowLibraryMessagesUpTo(-1);
  EXPECT_EQ(Captured(STDOUT_FILENO, print), "");
  EXPECT_EQ(Captured(STDERR_FILENO, print), "");
  ShowLibraryMessagesUpTo(0);
  EXPECT_EQ(Captured(STDOUT_FILENO, print), "");
  EXPECT_EQ(Captured(STDERR_FILENO, print),
            "kestrova: libsmbclient: smbc_set_credentials is obsolete. Replace with "
            "smbc_set_credentials_with_fallback().\n");
  ShowLibraryMessagesUpTo(-1);
}

}  // namespace
}  // namespace smb
