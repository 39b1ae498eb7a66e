// A computer's registry over the remote-registry protocol (winreg over
// DCE/RPC on the \pipe\winreg named pipe): the SMB network's
// implementation of lan::RemoteRegistry.
//
// Round trips are the cost that matters on a real link, so the registry
// saves the ones that change nothing:
//  - a value is queried with room for its data, so that a query for its
//    size and the fetch of its data that follows cost one call; what a
//    reply carried answers the same query again while the key stays open,
//    and so do the facts of an open key and the last names it enumerated;
//    once the registry said that a key has no subkey number n, no number
//    from n on is asked for again while the key stays open;
//  - once the caller enumerates a key's subkeys in order, the names that
//    follow are read ahead over several pipes at once; once it opens
//    consecutive enumerated subkeys and queries the same value in each, the
//    following subkeys are opened and that value read ahead the same way.
//    A key opened from such a read-ahead costs no call until it is asked
//    something that the read-ahead did not answer; then it is opened on the
//    registry's own pipe, and closing it costs a call only then. The
//    read-ahead pipes close their keys while they have nothing else to do;
//    what is still open when the registry goes is closed by the server with
//    the association.
// With the inventory's calls (the uninstall key's facts and names, then
// each subkey opened, its display name queried up to three times, closed)
// this makes 4 calls per application without read-ahead, and never more
// with it: no call is made on two pipes, and each read-ahead pipe adds only
// two calls (its root, and its open of the listed key). Where the
// read-ahead's pipes are kept busy, as on a link of a few milliseconds a
// round trip, they leave the closes of their keys to the end of the
// association: about 3.2 calls per application, of which about 0.1 on the
// registry's own pipe.
// Every answer is the registry's: a read-ahead whose pipe failed is
// dropped and the call made on the registry's own pipe; a read-ahead's
// error is reported when the caller makes the call that it answers.
//
// What a server says is held to what a real registry can hold before it
// reaches the caller, whose loops and buffers are sized from it:
//  - names: a subkey name has at most 255 characters (a longer one fails
//    its call, session.h); a key's facts give LongestSubkeyName at
//    most 255 and LongestValueName at most 16,383, the registry's limits;
//  - subkeys: a key is listed up to kMostSubkeys (65,536) subkeys, more
//    than any uninstall key holds, so that a hostile or broken server
//    costs at most that many names (about 35 MB in the caller's list) and
//    calls. Its facts give SubkeyCount at most that, and EnumKey answers
//    ERROR_NO_MORE_ITEMS from that index on without a call; a larger
//    count is cut with a message on `diagnostics` naming the key, since the
//    subkeys beyond it are never listed;
//  - value data: at most lan::kMaxValueData (lan_source.h) is handed out;
//    data beyond the room that a query offered is a protocol error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/lan_source.h"
#include "platform/smb/rpc/message_pipe.h"
#include "platform/smb/winreg/read_ahead.h"
#include "platform/smb/winreg/session.h"

namespace winreg {

struct RegistryOptions {
  // Pipes of the read-ahead, each served by a thread; zero turns it off.
  // At most kMostReadAheadPipes are used.
  std::size_t ReadAheadPipes = 8;
  static constexpr std::size_t kMostReadAheadPipes = 8;
  // How far ahead of the caller the read-ahead reaches, in subkeys.
  std::size_t ReadAheadWindow = 128;
};

// The most subkeys of one key that the registry lists.
inline constexpr DWORD kMostSubkeys = 1 << 16;
// The registry's limit on a value name, in UTF-16 characters.
inline constexpr DWORD kLongestValueName = 16383;

// RPC calls made, binds not counted.
struct RegistryCallCounts {
  std::uint64_t Own = 0;        // on the registry's own pipe
  std::uint64_t ReadAhead = 0;  // on the read-ahead pipes
};

class Registry final : public lan::RemoteRegistry {
 public:
  // Opens a pipe to winreg on `server` (its name without backslashes),
  // binds and opens `root`, HKEY_LOCAL_MACHINE or HKEY_USERS. The opener
  // must outlive the registry. Errors: the opener's for the pipe, those of
  // rpc/status.h for the association, the registry's own for the root
  // (ERROR_ACCESS_DENIED), ERROR_INVALID_PARAMETER for another root. Key
  // facts cut to the registry's limits are reported on `diagnostics`,
  // which must outlive the registry too.
  static DWORD Connect(rpc::PipeOpener& opener, std::u16string_view server, HKEY root, const RegistryOptions& options,
                       std::ostream& diagnostics, std::unique_ptr<Registry>& registry);

  ~Registry() override;

  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override;
  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override;
  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override;
  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override;
  DWORD CloseKey(KeyId key) override;

  RegistryCallCounts CallCounts() const;

 private:
  struct CachedValue {
    DWORD Status = NO_ERROR;
    QueryValueReply Reply;
  };
  struct CachedEnum {
    DWORD Status = NO_ERROR;
    EnumKeyReply Reply;
  };
  struct OpenKeyState {
    std::u16string Path;  // from the root, names joined by one backslash
    REGSAM Access = 0;
    std::optional<rpc::ContextHandle> Handle;  // absent for a key opened from a read-ahead, until needed
    std::optional<std::pair<DWORD, lan::KeyFacts>> Facts;
    // The latest answers, a few of each: a caller asks the same again
    // right after (for a value's size, then its data), not much later.
    std::vector<std::pair<std::u16string, CachedValue>> Values;
    std::map<DWORD, CachedEnum> Enumerated;
    std::optional<DWORD> LastEnumIndex;
    std::optional<DWORD> EndIndex;  // the first index the registry had no subkey for
    bool ValueQueried = false;      // the first value query of a key sets the value pattern
    DWORD EnumQueuedUntil = 0;
  };
  // The subkey names last handed out by EnumKey, for the value read-ahead:
  // each name once, with the first listing index it had.
  struct Listing {
    std::u16string Path;
    REGSAM Access = 0;
    std::map<std::u16string, std::size_t> Index;
    std::vector<const std::u16string*> Names;  // by listing index, into Index
  };
  // The value read-ahead's pattern: the value first queried in the listed
  // subkey opened last, and how far the read-ahead was queued.
  struct ValuePattern {
    std::u16string Value;
    REGSAM Access = 0;
    std::size_t LastIndex = 0;
    bool Established = false;
    std::size_t QueuedUntil = 0;
  };

  Registry(rpc::PipeOpener& opener, std::u16string server, HKEY root, const RegistryOptions& options,
           std::ostream& diagnostics, std::unique_ptr<Session> session, const rpc::ContextHandle& root_handle);

  OpenKeyState* Find(KeyId key);
  DWORD EnsureHandle(OpenKeyState& state);
  KeyId Adopt(OpenKeyState state);
  void NoteListed(const OpenKeyState& state, DWORD index, const std::u16string& name);
  void QueueEnumAhead(OpenKeyState& state, DWORD index, DWORD status);
  // The listing index of the key at `path`, if it is a listed subkey.
  std::optional<std::size_t> ListedIndex(std::u16string_view path) const;
  void NoteValueQuery(OpenKeyState& state, const std::u16string& value);
  DWORD FetchValue(OpenKeyState& state, const std::u16string& name, std::uint32_t room, CachedValue& value);
  // The facts that a key's reply gives, held to what a registry can hold.
  lan::KeyFacts Bounded(const OpenKeyState& state, const QueryInfoKeyReply& reply) const;
  static void CacheValue(OpenKeyState& state, std::u16string name, CachedValue value);

  rpc::PipeOpener& opener_;
  const std::u16string server_;
  const HKEY root_;
  const RegistryOptions options_;
  std::ostream& diagnostics_;
  std::unique_ptr<Session> session_;
  const rpc::ContextHandle root_handle_;
  std::map<KeyId, OpenKeyState> keys_;
  KeyId next_key_ = 1;
  Listing listing_;
  ValuePattern pattern_;
  // Declared last: destroyed (its threads joined) first.
  std::unique_ptr<ReadAhead> read_ahead_;
};

// The registry of `server` at `root` as the LAN seam hands it out, with the
// default read-ahead; as Registry::Connect.
DWORD ConnectRegistry(rpc::PipeOpener& opener, std::u16string_view server, HKEY root, std::ostream& diagnostics,
                      std::unique_ptr<lan::RemoteRegistry>& registry);

}  // namespace winreg
