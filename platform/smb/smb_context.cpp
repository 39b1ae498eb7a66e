#include "platform/smb/smb_context.h"

#include <dlfcn.h>
#include <ifaddrs.h>
#include <libsmbclient.h>
#include <net/if.h>

#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/smb/library_messages.h"

namespace smb {
namespace {

bool threads_supported = false;

std::mutex& ContextLifetimeMutex() {
  // Never destroyed, so that a context freed while the process exits can
  // still take it.
  static auto* mutex = new std::mutex;
  return *mutex;
}

// Copies `text` whole into a buffer of libsmbclient's, or leaves the
// buffer empty: a credential is never cut short. The settings hold no value
// longer than the 255 bytes of libsmbclient's buffers.
void CopyInto(char* buffer, int size, const std::string& text) {
  if (size <= 0) return;
  if (text.size() >= static_cast<std::size_t>(size)) {
    buffer[0] = '\0';
    return;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}

// libsmbclient asks for credentials whenever it logs on to a server.
// Browsing contexts carry no settings: they log on anonymously, and the
// user name that libsmbclient proposes (the login name) is taken back too.
void SupplyCredentials(SMBCCTX* context, const char* /*server*/, const char* /*share*/, char* workgroup,
                       int workgroup_size, char* user, int user_size, char* password, int password_size) {
  const auto* settings = static_cast<const SmbSettings*>(smbc_getOptionUserData(context));
  if (settings == nullptr) {
    if (user_size > 0) user[0] = '\0';
    if (password_size > 0) password[0] = '\0';
    return;
  }
  if (!settings->Logon) return;  // Kerberos or guest: leave the defaults.
  const Credentials& logon = *settings->Logon;
  CopyInto(user, user_size, logon.Username);
  CopyInto(password, password_size, logon.Password);
  if (!logon.Domain.empty()) CopyInto(workgroup, workgroup_size, logon.Domain);
}

// libsmbclient keeps a stack of scratch memory frames, which it makes
// thread-local only once it is given thread functions; without them two
// threads working on two contexts corrupt each other's frames. Debian's
// libsmbclient does not export smbc_thread_posix() or smbc_thread_impl(),
// whose documented parameters are these seven functions, but the Samba
// utility library that it loads exports smb_thread_set_functions(), which
// takes them in this order.
struct ThreadFunctions {
  int (*create_mutex)(const char* name, void** lock, const char* location);
  void (*destroy_mutex)(void* lock, const char* location);
  int (*lock_mutex)(void* lock, int lock_type, const char* location);
  int (*create_tls)(const char* name, void** key, const char* location);
  void (*destroy_tls)(void** key, const char* location);
  int (*set_tls)(void* key, const void* value, const char* location);
  void* (*get_tls)(void* key, const char* location);
};

int CreateMutex(const char* name, void** lock, const char* /*location*/) {
  // One mutex per name, as the interface asks. The table is never
  // destroyed: contexts that static objects own are freed while the
  // process exits, after function-local statics made later are gone, and
  // freeing a context locks these mutexes.
  static auto* names_mutex = new std::mutex;
  static auto* by_name = new std::map<std::string, std::unique_ptr<std::mutex>>;
  std::lock_guard guard(*names_mutex);
  std::unique_ptr<std::mutex>& mutex = (*by_name)[name != nullptr ? name : ""];
  if (mutex == nullptr) mutex = std::make_unique<std::mutex>();
  *lock = mutex.get();
  return 0;
}

void DestroyMutex(void* /*lock*/, const char* /*location*/) {
  // Mutexes live as long as the process: another user of the name may hold it.
}

int LockMutex(void* lock, int lock_type, const char* /*location*/) {
  auto* mutex = static_cast<std::mutex*>(lock);
  if (lock_type == 1) {
    mutex->lock();
  } else if (lock_type == 2) {
    mutex->unlock();
  } else {
    return -1;
  }
  return 0;
}

int CreateThreadLocal(const char* /*name*/, void** key, const char* /*location*/) {
  auto* created = new pthread_key_t;
  if (pthread_key_create(created, nullptr) != 0) {
    delete created;
    return -1;
  }
  *key = created;
  return 0;
}

void DestroyThreadLocal(void** key, const char* /*location*/) {
  if (key == nullptr || *key == nullptr) return;
  auto* created = static_cast<pthread_key_t*>(*key);
  pthread_key_delete(*created);
  delete created;
  *key = nullptr;
}

// The library asks for a key it has not created yet: nothing is stored.
int SetThreadLocal(void* key, const void* value, const char* /*location*/) {
  if (key == nullptr) return -1;
  return pthread_setspecific(*static_cast<pthread_key_t*>(key), value) == 0 ? 0 : -1;
}

void* GetThreadLocal(void* key, const char* /*location*/) {
  if (key == nullptr) return nullptr;
  return pthread_getspecific(*static_cast<pthread_key_t*>(key));
}

// What the whole process needs before libsmbclient's first context, once:
// its thread functions, and its messages kept off standard output, where
// the report goes.
void PrepareLibrary() {
  static const ThreadFunctions functions{CreateMutex,        DestroyMutex,   LockMutex,     CreateThreadLocal,
                                         DestroyThreadLocal, SetThreadLocal, GetThreadLocal};
  using SetFunctions = int (*)(const ThreadFunctions*);
  if (auto set = reinterpret_cast<SetFunctions>(dlsym(RTLD_DEFAULT, "smb_thread_set_functions"))) {
    set(&functions);
    threads_supported = true;
  }
  RouteLibraryMessages();
}

std::once_flag library_prepared;

// Whether some interface is up with an IP address. libsmbclient ends the
// process (exit code 1) when it finds none and no "interfaces" line is
// configured, so a host without a network is caught before it is asked.
bool HostHasNetworkInterface() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return true;  // let libsmbclient judge
  bool found = false;
  for (const ifaddrs* entry = interfaces; entry != nullptr && !found; entry = entry->ifa_next) {
    const bool has_ip =
        entry->ifa_addr != nullptr && (entry->ifa_addr->sa_family == AF_INET || entry->ifa_addr->sa_family == AF_INET6);
    found = has_ip && (entry->ifa_flags & IFF_UP) != 0;
  }
  freeifaddrs(interfaces);
  return found;
}

}  // namespace

std::unique_lock<std::mutex> LockForConnecting() {
  std::call_once(library_prepared, PrepareLibrary);
  return std::unique_lock(ContextLifetimeMutex());
}

std::unique_lock<std::mutex> LockForTransfer() {
  std::call_once(library_prepared, PrepareLibrary);
  if (threads_supported) return {};
  return std::unique_lock(ContextLifetimeMutex());
}

SmbContext::SmbContext(SMBCCTX* context, const SmbSettings& settings, ContextPurpose purpose)
    : context_(context), settings_(settings), purpose_(purpose) {}

std::unique_ptr<SmbContext> SmbContext::Create(const SmbSettings& settings, ContextPurpose purpose) {
  if (settings.CredentialsRefused) {
    // The credentials file was refused: no server is contacted at all.
    errno = EACCES;
    return nullptr;
  }
  if (!HostHasNetworkInterface()) {
    errno = ENETDOWN;
    return nullptr;
  }
  const std::unique_lock lock = LockForConnecting();
  ShowLibraryMessagesUpTo(settings.LibraryDebugLevel.value_or(-1));
  SMBCCTX* raw = smbc_new_context();
  if (raw == nullptr) return nullptr;
  std::unique_ptr<SmbContext> context(new SmbContext(raw, settings, purpose));

  smbc_setDebug(raw, settings.LibraryDebugLevel.value_or(0));
  smbc_setOptionDebugToStderr(raw, true);
  smbc_setFunctionAuthDataWithContext(raw, SupplyCredentials);
  smbc_setPort(raw, kSmbPort);
  smbc_setTimeout(raw, settings.TimeoutMilliseconds);
  if (purpose == ContextPurpose::kBrowsing) {
    // Browse lists and share lists are read anonymously: the credentials
    // go to no server but the one whose registry is opened, and a listed
    // server is anyone who answers a broadcast.
    static char anonymous[] = "";
    smbc_setUser(raw, anonymous);
    smbc_setOptionUseKerberos(raw, false);
    smbc_setOptionUseCCache(raw, false);
  } else if (settings.Logon) {
    smbc_setOptionUserData(raw, &context->settings_);
    // Given credentials that fail must fail, not fall back to a guest.
    smbc_setOptionNoAutoAnonymousLogin(raw, true);
  } else {
    smbc_setOptionUserData(raw, &context->settings_);
    smbc_setOptionUseKerberos(raw, true);
    smbc_setOptionFallbackAfterKerberos(raw, true);
    smbc_setOptionUseCCache(raw, true);
  }

  context->SelectProtocols();
  if (smbc_init_context(raw) == nullptr) {
    const int error = errno;
    smbc_free_context(raw, 1);
    context->context_ = nullptr;
    errno = error;
    return nullptr;
  }
  return context;
}

void SmbContext::SelectProtocols() const {
  // Network browsing needs SMB1 (NT1): over SMB2/3 the browse list comes
  // back empty. Pipes offer NT1 to SMB3, the server choosing the newest
  // that both speak, so that a server without SMB1 (Windows 10 and later,
  // a Samba domain controller) is reached too.
  if (purpose_ == ContextPurpose::kBrowsing) {
    smbc_setOptionProtocols(context_, "NT1", "NT1");
  } else {
    smbc_setOptionProtocols(context_, "NT1", "SMB3");
  }
}

SmbContext::~SmbContext() {
  if (context_ == nullptr) return;
  const std::unique_lock lock = LockForConnecting();
  // 1: close the context's connections even if files are still open.
  smbc_free_context(context_, 1);
}

}  // namespace smb
