// What the SMB network tells the user about a computer whose registry it
// reads: a registry that passes every call through to the one it wraps and
// watches the answers. The program above only sees the error codes, as it
// would on Windows, and so lists nothing where a call fails; the messages
// on the diagnostics stream say why:
//  - the first call that fails because the connection was lost
//    (IsConnectionLost, smb_errors.h) reports that the listing of the
//    computer was cut short, and every later call fails at once with the
//    same code, so that a dead server costs no further waits;
//  - a key that cannot be opened because it does not exist or refuses
//    access is reported with its full name.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "platform/lan/lan_source.h"

namespace smb {

class ReportingRegistry : public lan::RemoteRegistry {
 public:
  // `registry` of the computer `machine`, connected at `root`; messages go
  // to `diagnostics`, which must outlive the registry.
  ReportingRegistry(std::unique_ptr<lan::RemoteRegistry> registry, std::u16string machine, HKEY root,
                    std::ostream& diagnostics);

  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override;
  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override;
  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override;
  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override;
  DWORD CloseKey(KeyId key) override;

 private:
  DWORD Watch(DWORD error);

  std::unique_ptr<lan::RemoteRegistry> registry_;
  std::u16string machine_;
  std::ostream& diagnostics_;
  DWORD lost_ = NO_ERROR;
  // The full names of the open keys, for messages.
  std::map<KeyId, std::u16string> paths_;
};

}  // namespace smb
