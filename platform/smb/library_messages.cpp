#include "platform/smb/library_messages.h"

#include <libsmbclient.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/lan/visible_text.h"

namespace smb {
namespace {

std::atomic<int> shown_level{-1};
thread_local std::ostream* thread_messages = nullptr;

void LogCallback(void* /*private_data*/, int level, const char* message) { ShowLibraryMessage(level, message); }

}  // namespace

void RouteLibraryMessages() {
  // The callback belongs to the process, not to a context.
  smbc_setLogCallback(nullptr, nullptr, LogCallback);
}

void ShowLibraryMessagesOfThisThreadOn(std::ostream* to) { thread_messages = to; }

void ShowLibraryMessagesUpTo(int level) { shown_level.store(level, std::memory_order_relaxed); }

void ShowLibraryMessage(int level, const char* message) {
  const int shown = shown_level.load(std::memory_order_relaxed);
  if (message == nullptr || shown < 0 || level > shown) return;
  std::string_view text(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  if (text.empty()) return;
  const std::string line = "kestrova: libsmbclient: " + lan::VisibleText(text) + "\n";
  if (thread_messages != nullptr) {
    thread_messages->write(line.data(), static_cast<std::streamsize>(line.size()));
    return;
  }
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace smb

// Samba's printf to standard output, which libsmbclient calls besides its
// logging (for a path that it cannot resolve through DFS, say). This
// definition comes before the Samba utility library's in the lookup of the
// libraries that the SMB module loads, so those messages take the way of
// the others.
extern "C" __attribute__((visibility("default"))) int d_printf(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char text[1024];
  const int length = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  smb::ShowLibraryMessage(0, text);
  return length;
}
