// One libsmbclient context: its own connections, its own settings.
// libsmbclient is safe for threads only when each thread uses a context of
// its own and the library was given thread functions (installed here
// before the first context), so every pipe and every browse gets one.
// What touches the library's process-wide state (creating and freeing
// contexts, which read smb.conf; connecting, resolving names, logging on;
// browsing) is serialized with LockForConnecting; reads and writes on
// established pipes run in parallel, or serialized with LockForTransfer
// where the thread functions could not be installed.
#pragma once

#include <memory>
#include <mutex>

#include "platform/smb/smb_settings.h"

struct _SMBCCTX;
using SMBCCTX = struct _SMBCCTX;

namespace smb {

enum class ContextPurpose {
  // Browse lists and share lists: anonymous, over SMB1 (NT1), since over
  // SMB2/3 the browse list comes back empty.
  kBrowsing,
  // Named pipes: the settings' credentials (or a Kerberos ticket), over
  // NT1 to SMB3.
  kPipes,
};

// The one port that connections are made to: libsmbclient would otherwise
// try 139 first, and where 139 is filtered every connection would wait out
// a timeout there.
inline constexpr int kSmbPort = 445;

std::unique_lock<std::mutex> LockForConnecting();
std::unique_lock<std::mutex> LockForTransfer();

class SmbContext {
 public:
  // Null when libsmbclient cannot set up a context, or the settings refuse
  // every connection (errno tells why: EACCES, ENETDOWN, ...).
  static std::unique_ptr<SmbContext> Create(const SmbSettings& settings, ContextPurpose purpose);
  ~SmbContext();

  SmbContext(const SmbContext&) = delete;
  SmbContext& operator=(const SmbContext&) = delete;

  SMBCCTX* Get() const { return context_; }

  // libsmbclient keeps the range of SMB protocols it offers for the whole
  // process, not for each context: this sets it to this context's purpose
  // (browsing: NT1; pipes: NT1 to SMB3). Called under LockForConnecting
  // right before each connection, so that one purpose's range never
  // holds for another's connection.
  void SelectProtocols() const;

 private:
  SmbContext(SMBCCTX* context, const SmbSettings& settings, ContextPurpose purpose);

  SMBCCTX* context_;
  // What the authentication callback hands libsmbclient (pipes only).
  SmbSettings settings_;
  ContextPurpose purpose_;
};

}  // namespace smb
