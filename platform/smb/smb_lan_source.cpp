#include "platform/smb/smb_lan_source.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/lan/utf16_text.h"
#include "platform/lan/visible_text.h"
#include "platform/smb/reporting_registry.h"
#include "platform/smb/smb_errors.h"
#include "platform/smb/winreg/registry.h"

namespace smb {
namespace {

// The records of one level, read when the level is opened.
class RecordLevel : public lan::BrowseLevel {
 public:
  explicit RecordLevel(std::vector<lan::BrowseRecord> records) : records_(std::move(records)) {}

  DWORD Peek(DWORD most, std::span<const lan::BrowseRecord>& records) override {
    if (next_ >= records_.size()) return ERROR_NO_MORE_ITEMS;
    const std::size_t count = std::min<std::size_t>(std::max<DWORD>(most, 1), records_.size() - next_);
    records = std::span<const lan::BrowseRecord>(records_).subspan(next_, count);
    return NO_ERROR;
  }

  void Advance(DWORD count) override { next_ = std::min<std::size_t>(next_ + count, records_.size()); }

 private:
  std::vector<lan::BrowseRecord> records_;
  std::size_t next_ = 0;
};

// Names of the network, as the browser gives them to libsmbclient and back.
std::u16string Utf16Name(std::string_view utf8) { return lan::Utf16FromUtf8(utf8, lan::Undecodable::kReplaced); }
std::string Utf8Name(std::u16string_view utf16) { return lan::Utf8FromUtf16(utf16, lan::Undecodable::kReplaced); }

bool SameName(std::u16string_view a, std::u16string_view b) { return ascii_case::Same(a, b); }

lan::BrowseRecord Container(DWORD display_type, std::u16string remote_name) {
  lan::BrowseRecord record;
  record.DisplayType = display_type;
  record.Usage = RESOURCEUSAGE_CONTAINER;
  record.RemoteName = std::move(remote_name);
  record.Provider = std::u16string(kProviderName);
  return record;
}

std::optional<lan::BrowseRecord> RecordOf(const BrowseEntry& entry, std::u16string_view server) {
  if (entry.Name.empty() || entry.Name.size() > kMaxBrowseNameBytes) return std::nullopt;
  const std::string_view comment =
      entry.Comment.size() > kMaxBrowseCommentBytes ? std::string_view{} : std::string_view(entry.Comment);
  const std::u16string name = Utf16Name(entry.Name);
  std::optional<lan::BrowseRecord> record;
  switch (entry.Kind) {
    case BrowseEntryKind::kWorkgroup:
      record = Container(RESOURCEDISPLAYTYPE_DOMAIN, name);
      break;
    case BrowseEntryKind::kServer:
      record = Container(RESOURCEDISPLAYTYPE_SERVER, u"\\\\" + name);
      if (!comment.empty()) record->Comment = Utf16Name(comment);
      break;
    case BrowseEntryKind::kDiskShare:
    case BrowseEntryKind::kPrinterShare:
      if (name.ends_with(u'$')) return std::nullopt;
      record.emplace();
      record->Type = entry.Kind == BrowseEntryKind::kDiskShare ? RESOURCETYPE_DISK : RESOURCETYPE_PRINT;
      record->DisplayType = RESOURCEDISPLAYTYPE_SHARE;
      record->Usage = RESOURCEUSAGE_CONNECTABLE;
      record->RemoteName = u"\\\\" + std::u16string(server) + u"\\" + name;
      record->Comment = Utf16Name(comment);
      record->Provider = std::u16string(kProviderName);
      break;
    case BrowseEntryKind::kOther:
      break;
  }
  return record;
}

// Whether an entry of the browser belongs to a list of `kind`: a list
// holds one kind of record, so no level opens another of its own kind or
// one above it.
bool Belongs(BrowseEntryKind entry, BrowseListKind kind) {
  switch (kind) {
    case BrowseListKind::kWorkgroups:
      return entry == BrowseEntryKind::kWorkgroup;
    case BrowseListKind::kServers:
      return entry == BrowseEntryKind::kServer;
    case BrowseListKind::kShares:
      return entry == BrowseEntryKind::kDiskShare || entry == BrowseEntryKind::kPrinterShare;
  }
  return false;
}

bool Wanted(const lan::BrowseRecord& record, DWORD type, DWORD usage) {
  // Containers and records of no particular type go with every type.
  if (type != RESOURCETYPE_ANY && record.Type != RESOURCETYPE_ANY && record.Type != type) return false;
  const DWORD kinds = usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER);
  return kinds == 0 || (record.Usage & kinds) != 0;
}

// The list that opening `container` reads, and the name it is read below
// (UTF-16): by the record's display type; a record of none (one that a
// caller made up) by the form of its name.
std::optional<BrowseListKind> ListBelow(const lan::BrowseRecord& container, std::u16string_view& name) {
  const bool generic = container.DisplayType == RESOURCEDISPLAYTYPE_GENERIC;
  if (container.DisplayType == RESOURCEDISPLAYTYPE_NETWORK || (generic && SameName(name, kProviderName))) {
    if (!SameName(name, kProviderName)) return std::nullopt;
    name = {};
    return BrowseListKind::kWorkgroups;
  }
  if (container.DisplayType == RESOURCEDISPLAYTYPE_SERVER || (generic && name.starts_with(u"\\\\"))) {
    if (!name.starts_with(u"\\\\")) return std::nullopt;
    name.remove_prefix(2);
    if (name.empty() || name.find(u'\\') != std::u16string_view::npos) return std::nullopt;
    return BrowseListKind::kShares;
  }
  if (container.DisplayType == RESOURCEDISPLAYTYPE_DOMAIN || generic) {
    if (name.find(u'\\') != std::u16string_view::npos) return std::nullopt;
    return BrowseListKind::kServers;
  }
  return std::nullopt;
}

}  // namespace

SmbLanSource::SmbLanSource(const SmbSettings& settings, std::ostream& diagnostics,
                           std::unique_ptr<BrowseListReader> browse_lists)
    : settings_(settings),
      diagnostics_(diagnostics),
      pipes_(settings),
      browse_lists_(browse_lists != nullptr ? std::move(browse_lists) : MakeSmbBrowseListReader(settings)) {}

DWORD SmbLanSource::OpenLevel(const lan::BrowseRecord* container, DWORD type, DWORD usage,
                              std::unique_ptr<lan::BrowseLevel>& level) {
  // The refused credentials file was reported: the network is empty.
  if (settings_.CredentialsRefused) return ERROR_NO_NETWORK;
  std::vector<lan::BrowseRecord> records;
  if (container == nullptr) {
    records.push_back(Container(RESOURCEDISPLAYTYPE_NETWORK, kProviderName));
  } else {
    if (!container->RemoteName || container->RemoteName->empty()) return ERROR_BAD_NETPATH;
    if (container->Provider && !SameName(*container->Provider, kProviderName)) return ERROR_BAD_NETPATH;
    std::u16string_view name = *container->RemoteName;
    const std::optional<BrowseListKind> kind = ListBelow(*container, name);
    if (!kind) return ERROR_BAD_NETPATH;
    const std::string name_utf8 = Utf8Name(name);
    std::vector<BrowseEntry> entries;
    const DWORD error = browse_lists_->Read(*kind, name_utf8, entries);
    if (error != NO_ERROR) {
      // The caller only ends the level: without this line a network or
      // workgroup whose browse list could not be read would look empty. A
      // server's share list is not reported: the computer's registry
      // connection says what is wrong with it.
      if (*kind != BrowseListKind::kShares) {
        diagnostics_ << "kestrova: smb://" << (name_utf8.empty() ? "" : lan::VisibleText(name_utf8) + "/")
                     << ": cannot read the browse list (error " << error << ": " << ReasonOf(error) << ")\n";
        diagnostics_.flush();
      }
      return error;
    }
    if (entries.size() > kMaxBrowseEntries) {
      diagnostics_ << "kestrova: smb://" << (name_utf8.empty() ? "" : lan::VisibleText(name_utf8) + "/")
                   << ": the browse list holds more than " << kMaxBrowseEntries << " entries; only the first "
                   << kMaxBrowseEntries << " are read\n";
      diagnostics_.flush();
      entries.resize(kMaxBrowseEntries);
    }
    const std::u16string server(*kind == BrowseListKind::kShares ? name : std::u16string_view{});
    for (const BrowseEntry& entry : entries) {
      if (!Belongs(entry.Kind, *kind)) continue;
      if (std::optional<lan::BrowseRecord> record = RecordOf(entry, server)) records.push_back(std::move(*record));
    }
  }
  std::erase_if(records, [&](const lan::BrowseRecord& record) { return !Wanted(record, type, usage); });
  level = std::make_unique<RecordLevel>(std::move(records));
  return NO_ERROR;
}

DWORD SmbLanSource::ConnectRegistry(std::u16string_view machine, HKEY root,
                                    std::unique_ptr<lan::RemoteRegistry>& registry) {
  if (settings_.CredentialsRefused) return ERROR_NO_NETWORK;
  std::unique_ptr<lan::RemoteRegistry> connected;
  const DWORD error = ConnectWinreg(machine, root, connected);
  if (error != NO_ERROR) {
    diagnostics_ << "kestrova: \\\\" << lan::VisibleText(Utf8Name(machine))
                 << ": cannot connect to the registry (error " << error << ": " << ReasonOf(error) << ")\n";
    diagnostics_.flush();
    return error;
  }
  registry = std::make_unique<ReportingRegistry>(std::move(connected), std::u16string(machine), root, diagnostics_);
  return NO_ERROR;
}

DWORD SmbLanSource::ConnectWinreg(std::u16string_view machine, HKEY root,
                                  std::unique_ptr<lan::RemoteRegistry>& registry) {
  if (machine.empty()) return ERROR_BAD_NETPATH;
  return winreg::ConnectRegistry(pipes_, machine, root, diagnostics_, registry);
}

}  // namespace smb
