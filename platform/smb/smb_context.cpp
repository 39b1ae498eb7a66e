#include "platform/smb/smb_context.h"

#include <dlfcn.h>
#include <libsmbclient.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace smb {
namespace {

std::mutex& ContextLifetimeMutex() {
  static std::mutex mutex;
  return mutex;
}

void CopyInto(char* buffer, int size, const std::string& text) {
  if (size <= 0) return;
  std::snprintf(buffer, static_cast<std::size_t>(size), "%s", text.c_str());
}

// libsmbclient asks for credentials whenever it logs on to a server.
void SupplyCredentials(SMBCCTX* context, const char* /*server*/, const char* /*share*/, char* workgroup,
                       int workgroup_size, char* user, int user_size, char* password, int password_size) {
  const auto* settings = static_cast<const SmbSettings*>(smbc_getOptionUserData(context));
  if (settings == nullptr || !settings->Logon) return;  // Kerberos or guest: leave the defaults.
  const Credentials& logon = *settings->Logon;
  CopyInto(user, user_size, logon.Username);
  CopyInto(password, password_size, logon.Password);
  if (!logon.Domain.empty()) CopyInto(workgroup, workgroup_size, logon.Domain);
}

}  // namespace

SmbContext::SmbContext(SMBCCTX* context, const SmbSettings& settings) : context_(context), settings_(settings) {}

std::unique_ptr<SmbContext> SmbContext::Create(const SmbSettings& settings, ContextPurpose purpose) {
  static std::once_flag threads_ready;
  std::call_once(threads_ready, [] {
    // libsmbclient.h declares this one function outside its extern "C"
    // block, so C++ cannot name it: it is looked up by its C name.
    using ThreadSetup = void (*)();
    if (auto setup = reinterpret_cast<ThreadSetup>(dlsym(RTLD_DEFAULT, "smbc_thread_posix"))) setup();
  });

  std::lock_guard lock(ContextLifetimeMutex());
  SMBCCTX* raw = smbc_new_context();
  if (raw == nullptr) return nullptr;
  std::unique_ptr<SmbContext> context(new SmbContext(raw, settings));

  smbc_setDebug(raw, 0);
  smbc_setOptionUserData(raw, &context->settings_);
  smbc_setFunctionAuthDataWithContext(raw, SupplyCredentials);
  // Port 445 only: libsmbclient would otherwise try 139 first, and where
  // 139 is filtered every connection would wait out a timeout there.
  smbc_setPort(raw, 445);
  smbc_setTimeout(raw, settings.TimeoutMilliseconds);
  if (settings.Logon) {
    // Given credentials that fail must fail, not fall back to a guest.
    smbc_setOptionNoAutoAnonymousLogin(raw, true);
  } else {
    smbc_setOptionUseKerberos(raw, true);
    smbc_setOptionFallbackAfterKerberos(raw, true);
    smbc_setOptionUseCCache(raw, true);
  }
  if (purpose == ContextPurpose::kBrowsing) smbc_setOptionProtocols(raw, "NT1", "NT1");

  if (smbc_init_context(raw) == nullptr) {
    const int error = errno;
    smbc_free_context(raw, 1);
    context->context_ = nullptr;
    errno = error;
    return nullptr;
  }
  return context;
}

SmbContext::~SmbContext() {
  if (context_ == nullptr) return;
  std::lock_guard lock(ContextLifetimeMutex());
  // 1: close the context's connections even if files are still open.
  smbc_free_context(context_, 1);
}

}  // namespace smb
