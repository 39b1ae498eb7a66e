#include "platform/smb/connection_report.h"

#include <map>

#include "platform/lan/visible_text.h"
#include "platform/smb/smb_errors.h"
#include "platform/smb/smb_text.h"

namespace smb {
namespace {

class WatchedRegistry : public lan::RemoteRegistry {
 public:
  WatchedRegistry(std::unique_ptr<lan::RemoteRegistry> registry, std::u16string machine, std::u16string root,
                  std::ostream& messages)
      : registry_(std::move(registry)), machine_(std::move(machine)), messages_(messages) {
    paths_[kRootKey] = std::move(root);
  }

  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override {
    if (lost_ != NO_ERROR) return lost_;
    const DWORD error = Watch(registry_->OpenKey(parent, path, access, key));
    const auto known = paths_.find(parent);
    std::u16string full = known != paths_.end() ? known->second : u"?";
    if (!path.empty()) full.append(u"\\").append(path);
    if (error == NO_ERROR) {
      paths_[key] = std::move(full);
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED) {
      // The registry's answer, which leaves what the key holds unlisted.
      messages_ << "kestrova: \\\\" << lan::VisibleText(Utf8FromUtf16(machine_)) << ": cannot open "
                << lan::VisibleText(Utf8FromUtf16(full)) << " (error " << error << ": "
                << (error == ERROR_FILE_NOT_FOUND ? "the key does not exist" : "access is denied") << ")\n";
      messages_.flush();
    }
    return error;
  }
  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override {
    if (lost_ != NO_ERROR) return lost_;
    return Watch(registry_->EnumKey(key, index, name, last_written));
  }
  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override {
    if (lost_ != NO_ERROR) return lost_;
    return Watch(registry_->QueryValue(key, name, fetch_data, type, size, data));
  }
  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override {
    if (lost_ != NO_ERROR) return lost_;
    return Watch(registry_->QueryKeyFacts(key, facts));
  }
  DWORD CloseKey(KeyId key) override {
    if (key != kRootKey) paths_.erase(key);
    // A key is closed with the connection: no message for closing it.
    if (lost_ != NO_ERROR) return NO_ERROR;
    const DWORD error = registry_->CloseKey(key);
    return IsConnectionLost(error) ? NO_ERROR : error;
  }

 private:
  DWORD Watch(DWORD error) {
    if (!IsConnectionLost(error)) return error;
    lost_ = error;
    messages_ << "kestrova: \\\\" << lan::VisibleText(Utf8FromUtf16(machine_))
              << ": the connection to the registry was lost (error " << error << ": " << ReasonOf(error)
              << "); the listing was cut short\n";
    messages_.flush();
    return error;
  }

  std::unique_ptr<lan::RemoteRegistry> registry_;
  std::u16string machine_;
  std::ostream& messages_;
  DWORD lost_ = NO_ERROR;
  // The full names of the open keys, for messages.
  std::map<KeyId, std::u16string> paths_;
};

}  // namespace

std::string ReasonOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return "the remote registry service is not running";
    case ERROR_ACCESS_DENIED:
      return "access is denied; check the credentials";
    case ERROR_BAD_NETPATH:
      return "the network path was not found: the computer does not resolve, refuses or does not answer";
    case kErrorBadNetName:
      return "the network name cannot be found";
    case ERROR_BROKEN_PIPE:
      return "the pipe has been ended: the server closed the connection";
    case ERROR_TIMEOUT:
      return "the server did not answer in time";
    case kErrorLogonFailure:
      return "the user name or password is incorrect";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "not enough memory";
    case ERROR_NO_NETWORK:
      return "the network is not present: no network interface is up, or libsmbclient could not start";
    case ERROR_NOT_SUPPORTED:
      return "the request is not supported";
    case 1722:
      return "the RPC server is unavailable";
    case 1726:
    case 1727:
      return "the remote procedure call failed";
    case 1728:
    case 1783:
      return "the server's reply broke the RPC protocol";
    default:
      return "Windows error " + std::to_string(error);
  }
}

bool IsConnectionLost(DWORD error) {
  switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_TIMEOUT:
    case ERROR_BAD_NETPATH:
    case kErrorBadNetName:
    case kErrorNetworkUnreachable:
    case 64:    // ERROR_NETNAME_DELETED
    case 1722:  // RPC_S_SERVER_UNAVAILABLE
    case 1723:  // RPC_S_SERVER_TOO_BUSY
    case 1726:  // RPC_S_CALL_FAILED
    case 1727:  // RPC_S_CALL_FAILED_DNE
    case 1728:  // RPC_S_PROTOCOL_ERROR
    case 1783:  // RPC_X_BAD_STUB_DATA
      return true;
    default:
      return false;
  }
}

std::unique_ptr<lan::RemoteRegistry> ReportingRegistry(std::unique_ptr<lan::RemoteRegistry> registry,
                                                       std::u16string machine, HKEY root, std::ostream& messages) {
  return std::make_unique<WatchedRegistry>(std::move(registry), std::move(machine),
                                           root == HKEY_USERS ? u"HKEY_USERS" : u"HKEY_LOCAL_MACHINE", messages);
}

}  // namespace smb
