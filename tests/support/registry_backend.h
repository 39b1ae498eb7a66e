// The registry that a contract suite runs against, behind one interface:
// the suites call the Windows registry API alone and ask the backend only
// for what that API cannot do (putting the registry into a known state,
// counting open handles, running code between two enumeration calls).
// Each backend registers itself; the suites are instantiated for every
// registered backend.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_api.h"

// Where a backend is known to answer otherwise than Windows does. Each
// flag is a defect of Wine's registry, which the Windows backend meets
// when the tests run under Wine; on Windows and on the stand-in all are
// off. A suite checks what such a defect leaves intact and says at the
// check what it leaves out.
struct RegistryQuirks {
  // Subkeys are enumerated in the order of their lower-cased names, so
  // that names with one of [ \ ] ^ _ ` come before the letters; Windows
  // orders them by their upper-cased names.
  bool SubkeysOrderedLowerCased = false;
  // RegQueryValueExA adds a terminating zero to string data stored
  // without one, and counts it in the size.
  bool AnsiQueryAddsTerminator = false;
  // The longest key name accepted, in characters: 255 on Windows, one
  // more under Wine.
  DWORD LongestKeyName = 255;
  // RegConnectRegistryA for the local computer hands back whatever key it
  // was given, handle 0 and keys that are no predefined root included;
  // Windows connects to predefined roots alone.
  bool LocalConnectionTakesAnyKey = false;
};

class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;

  virtual std::string Name() const = 0;

  virtual RegistryQuirks Quirks() const { return {}; }

  // Removes what earlier tests left in the test area and closes what the
  // backend can close; run before and after every test.
  virtual void Reset() = 0;

  // UTF-16LE bytes in the ANSI code page in force, for reading version 5
  // export files.
  virtual std::optional<std::string> AnsiFromUtf16le(std::string_view utf16le) const = 0;

  // The number of registry handles open now; nullopt when the backend
  // cannot tell.
  virtual std::optional<int> OpenHandleCount() const = 0;

  // Runs hook at the start of every RegEnumKeyExA (null removes it);
  // false when the backend cannot.
  virtual bool SetEnumKeyHook(std::function<void(HKEY key, DWORD index)> hook) = 0;

  // Stores a value below key with exactly these data (ANSI text for the
  // string types), as a Unicode program or an export file can store it:
  // RegSetValueExA would add a terminating zero to string data that end
  // without one. Answers the status of the call that stores it.
  virtual LONG StoreValueUnchanged(HKEY key, std::string_view name, DWORD type, std::string_view data) = 0;
};

// Every backend of this build, in registration order.
const std::vector<RegistryBackend*>& RegistryBackends();

// Registers a backend for the whole run (from a static initializer).
bool RegisterRegistryBackend(RegistryBackend* backend);

// The key below which the suites seed and read: HKEY_CURRENT_USER and
// this path.
inline constexpr const char* kContractArea = "Software\\Kestrova Contract";

// The contract area's path below HKEY_CURRENT_USER joined with a subpath.
std::string ContractPath(std::string_view subpath = {});

// Applies registry export text (REGEDIT4 bytes, or version 5 UTF-16LE
// with its byte-order mark) through the Windows API; fails the current
// test when the text is malformed or a call fails.
void SeedRegistry(const RegistryBackend& backend, std::string_view reg_text);

// REGEDIT4 text: the header and an empty line, then body.
std::string Regedit4(std::string_view body);

// Version 5 text: the byte-order mark and the UTF-16LE form of the header,
// an empty line and body, where body is UTF-8.
std::string Regedit5(std::string_view utf8_body);
