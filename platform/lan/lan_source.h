// Where a LAN comes from: the one interface between the stand-in's Windows
// functions (network enumeration and the remote registry) and the LAN they
// read. A directory of registry export files is one implementation, the
// real network over SMB another. Everything that the Windows functions add
// (handle tables, ANSI conversions, argument checks, buffer layouts) stays
// above this interface, once; nothing above it knows which LAN it reads.
//
// Every operation returns a Windows error code (NO_ERROR / ERROR_SUCCESS on
// success) and writes its out-parameters only on success. Names and string
// data are UTF-16, as Windows keeps them. Implementations are used from one
// thread at a time.
//
// A source that reads files of its own may meet bytes that it cannot
// decode (a name that is no valid UTF-8, ANSI text that its code page
// lacks). Each such byte is handed over as the lone unit 0xDC00 + byte
// (U+DC80 to U+DCFF), and such a unit is taken back as that byte, so that
// the bytes come out above this interface as they were.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/windows_api.h"

namespace lan {

// One record of the network browser's hierarchy, as WNetEnumResource
// hands it out. Absent strings are null pointers in the Windows record.
struct BrowseRecord {
  DWORD Scope = RESOURCE_GLOBALNET;
  DWORD Type = RESOURCETYPE_ANY;
  DWORD DisplayType = RESOURCEDISPLAYTYPE_GENERIC;
  DWORD Usage = 0;
  std::optional<std::u16string> LocalName;
  std::optional<std::u16string> RemoteName;
  std::optional<std::u16string> Comment;
  std::optional<std::u16string> Provider;
};

// One open level of the hierarchy: the records below one container.
class BrowseLevel {
 public:
  virtual ~BrowseLevel() = default;

  // The records not handed out yet, at most `most` of them (at least one):
  // NO_ERROR with a non-empty `records`, ERROR_NO_MORE_ITEMS when all
  // were handed out, or the level's fault once it is due. The span stays
  // valid until the next call on this level.
  virtual DWORD Peek(DWORD most, std::span<const BrowseRecord>& records) = 0;

  // Notes that the first `count` records of the last Peek were handed out.
  virtual void Advance(DWORD count) = 0;
};

// Facts of one key, as RegQueryInfoKey gives them; lengths in UTF-16
// characters without the terminating zero, data sizes in bytes as stored.
struct KeyFacts {
  DWORD SubkeyCount = 0;
  DWORD LongestSubkeyName = 0;
  DWORD ValueCount = 0;
  DWORD LongestValueName = 0;
  DWORD LongestValueData = 0;
  FILETIME LastWritten{};
};

// A value as stored: string types hold UTF-16LE bytes, exactly as many
// as the registry keeps (a terminating zero only where one was stored).
struct StoredValue {
  DWORD Type = REG_NONE;
  std::string Data;
};

// The largest value data that a source hands out, in bytes. Windows
// advises against values above 2 KB; an application's display name is a
// few dozen bytes.
inline constexpr DWORD kMaxValueData = 1024 * 1024;

// The path of the key `child` below the key at `parent`, joined with a
// backslash as the registry names keys; either may be empty (the root).
inline std::u16string JoinKeyPath(std::u16string_view parent, std::u16string_view child) {
  if (parent.empty()) return std::u16string(child);
  if (child.empty()) return std::u16string(parent);
  std::u16string path(parent);
  path += u'\\';
  path += child;
  return path;
}

// One connection to one computer's registry, below the root it was
// connected to. Keys are named by numbers that the registry hands out;
// kRootKey, the connected root, is open for as long as the connection.
class RemoteRegistry {
 public:
  using KeyId = std::uint32_t;
  static constexpr KeyId kRootKey = 0;

  virtual ~RemoteRegistry() = default;

  // Opens the key at `path` below `parent` with `access` (specific rights,
  // generic ones already mapped). `path` holds key names separated by one
  // backslash, without a leading or trailing one; empty names `parent`
  // itself. ERROR_FILE_NOT_FOUND for a missing key, ERROR_ACCESS_DENIED
  // for rights that the key does not grant.
  virtual DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) = 0;

  // The name of subkey number `index`, in the order Windows enumerates
  // them, and its last write time; ERROR_NO_MORE_ITEMS past the last.
  virtual DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) = 0;

  // The value `name` of `key` (empty: the default value): its type and
  // stored size, and with `fetch_data` its data. A value whose size can
  // be read may still refuse its data with an error of its own. Data
  // larger than kMaxValueData are never handed out: such a value reports
  // its type and size (0xFFFFFFFF for a size that 32 bits cannot hold)
  // and refuses its data with ERROR_NOT_ENOUGH_MEMORY, from every source.
  virtual DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                           std::string& data) = 0;

  virtual DWORD QueryKeyFacts(KeyId key, KeyFacts& facts) = 0;

  // Closes a key that OpenKey opened; kRootKey is closed with the
  // connection. ERROR_INVALID_HANDLE for a key that is not open.
  virtual DWORD CloseKey(KeyId key) = 0;
};

class LanSource {
 public:
  virtual ~LanSource() = default;

  // Opens the level below `container`, or the top level for null, for
  // records of `type` (RESOURCETYPE_*) and `usage` (RESOURCEUSAGE_*, 0 for
  // all). ERROR_BAD_NETPATH for a container that names nothing known.
  // The level may read what the source holds: it is destroyed first.
  virtual DWORD OpenLevel(const BrowseRecord* container, DWORD type, DWORD usage,
                          std::unique_ptr<BrowseLevel>& level) = 0;

  // Connects to the registry of the LAN computer `machine` (its name
  // without leading backslashes) at `root`, HKEY_LOCAL_MACHINE or
  // HKEY_USERS. ERROR_BAD_NETPATH for a computer that cannot be found;
  // other codes for one that cannot be reached.
  virtual DWORD ConnectRegistry(std::u16string_view machine, HKEY root, std::unique_ptr<RemoteRegistry>& registry) = 0;
};

}  // namespace lan
