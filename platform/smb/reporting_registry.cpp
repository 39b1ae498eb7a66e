#include "platform/smb/reporting_registry.h"

#include "platform/lan/utf16_text.h"
#include "platform/lan/visible_text.h"
#include "platform/smb/smb_errors.h"

namespace smb {
namespace {

// Names from the server as a message shows them.
std::string Shown(std::u16string_view name) {
  return lan::VisibleText(lan::Utf8FromUtf16(name, lan::Undecodable::kReplaced));
}

}  // namespace

ReportingRegistry::ReportingRegistry(std::unique_ptr<lan::RemoteRegistry> registry, std::u16string machine, HKEY root,
                                     std::ostream& diagnostics)
    : registry_(std::move(registry)), machine_(std::move(machine)), diagnostics_(diagnostics) {
  paths_[kRootKey] = root == HKEY_USERS ? u"HKEY_USERS" : u"HKEY_LOCAL_MACHINE";
}

DWORD ReportingRegistry::OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) {
  if (lost_ != NO_ERROR) return lost_;
  const DWORD error = Watch(registry_->OpenKey(parent, path, access, key));
  const auto known = paths_.find(parent);
  std::u16string full = known != paths_.end() ? known->second : u"?";
  if (!path.empty()) full.append(u"\\").append(path);
  if (error == NO_ERROR) {
    paths_[key] = std::move(full);
  } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED) {
    // The registry's answer, which leaves what the key holds unlisted.
    diagnostics_ << "kestrova: \\\\" << Shown(machine_) << ": cannot open " << Shown(full) << " (error " << error
                 << ": " << (error == ERROR_FILE_NOT_FOUND ? "the key does not exist" : "access is denied") << ")\n";
    diagnostics_.flush();
  }
  return error;
}

DWORD ReportingRegistry::EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) {
  if (lost_ != NO_ERROR) return lost_;
  return Watch(registry_->EnumKey(key, index, name, last_written));
}

DWORD ReportingRegistry::QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                                    std::string& data) {
  if (lost_ != NO_ERROR) return lost_;
  return Watch(registry_->QueryValue(key, name, fetch_data, type, size, data));
}

DWORD ReportingRegistry::QueryKeyFacts(KeyId key, lan::KeyFacts& facts) {
  if (lost_ != NO_ERROR) return lost_;
  return Watch(registry_->QueryKeyFacts(key, facts));
}

DWORD ReportingRegistry::CloseKey(KeyId key) {
  if (key != kRootKey) paths_.erase(key);
  // A key is closed with the connection: no message for closing it.
  if (lost_ != NO_ERROR) return NO_ERROR;
  const DWORD error = registry_->CloseKey(key);
  return IsConnectionLost(error) ? NO_ERROR : error;
}

DWORD ReportingRegistry::Watch(DWORD error) {
  if (!IsConnectionLost(error)) return error;
  lost_ = error;
  diagnostics_ << "kestrova: \\\\" << Shown(machine_) << ": the connection to the registry was lost (error " << error
               << ": " << ReasonOf(error) << "); the listing was cut short\n";
  diagnostics_.flush();
  return error;
}

}  // namespace smb
