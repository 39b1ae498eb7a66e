#include "platform/smb/smb_lan_source.h"

#include <algorithm>
#include <vector>

#include "platform/smb/connection_report.h"
#include "platform/smb/smb_browse_list.h"
#include "platform/smb/smb_registry.h"
#include "platform/smb/smb_text.h"

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

char16_t Folded(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Folded(x) == Folded(y); });
}

lan::BrowseRecord Container(DWORD display_type, std::u16string remote_name) {
  lan::BrowseRecord record;
  record.DisplayType = display_type;
  record.Usage = RESOURCEUSAGE_CONTAINER;
  record.RemoteName = std::move(remote_name);
  record.Provider = std::u16string(kProviderName);
  return record;
}

std::optional<lan::BrowseRecord> RecordOf(const BrowseEntry& entry, std::u16string_view server) {
  const std::u16string name = Utf16FromUtf8(entry.Name);
  std::optional<lan::BrowseRecord> record;
  switch (entry.Kind) {
    case BrowseEntryKind::kWorkgroup:
      record = Container(RESOURCEDISPLAYTYPE_DOMAIN, name);
      break;
    case BrowseEntryKind::kServer:
      record = Container(RESOURCEDISPLAYTYPE_SERVER, u"\\\\" + name);
      if (!entry.Comment.empty()) record->Comment = Utf16FromUtf8(entry.Comment);
      break;
    case BrowseEntryKind::kDiskShare:
    case BrowseEntryKind::kPrinterShare:
      if (name.ends_with(u'$')) return std::nullopt;
      record.emplace();
      record->Type = entry.Kind == BrowseEntryKind::kDiskShare ? RESOURCETYPE_DISK : RESOURCETYPE_PRINT;
      record->DisplayType = RESOURCEDISPLAYTYPE_SHARE;
      record->Usage = RESOURCEUSAGE_CONNECTABLE;
      record->RemoteName = u"\\\\" + std::u16string(server) + u"\\" + name;
      record->Comment = Utf16FromUtf8(entry.Comment);
      record->Provider = std::u16string(kProviderName);
      break;
    case BrowseEntryKind::kOther:
      break;
  }
  return record;
}

bool Wanted(const lan::BrowseRecord& record, DWORD type, DWORD usage) {
  // Containers and records of no particular type go with every type.
  if (type != RESOURCETYPE_ANY && record.Type != RESOURCETYPE_ANY && record.Type != type) return false;
  const DWORD kinds = usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER);
  return kinds == 0 || (record.Usage & kinds) != 0;
}

}  // namespace

SmbLanSource::SmbLanSource(SmbSettings settings, std::ostream& messages)
    : settings_(settings), messages_(messages), pipes_(std::move(settings)) {}

DWORD SmbLanSource::OpenLevel(const lan::BrowseRecord* container, DWORD type, DWORD usage,
                              std::unique_ptr<lan::BrowseLevel>& level) {
  std::vector<lan::BrowseRecord> records;
  if (container == nullptr) {
    records.push_back(Container(RESOURCEDISPLAYTYPE_NETWORK, kProviderName));
  } else {
    if (!container->RemoteName || container->RemoteName->empty()) return ERROR_BAD_NETPATH;
    if (container->Provider && !SameName(*container->Provider, kProviderName)) return ERROR_BAD_NETPATH;
    const std::u16string_view name = *container->RemoteName;
    std::string url;
    std::u16string server;
    if (SameName(name, kProviderName)) {
      url = "smb://";
    } else if (name.starts_with(u"\\\\")) {
      server = name.substr(2);
      if (server.empty() || server.find(u'\\') != std::u16string::npos) return ERROR_BAD_NETPATH;
      url = "smb://" + UrlEncoded(Utf8FromUtf16(server)) + "/";
    } else {
      if (name.find(u'\\') != std::u16string_view::npos) return ERROR_BAD_NETPATH;
      url = "smb://" + UrlEncoded(Utf8FromUtf16(name)) + "/";
    }
    if (browsing_ == nullptr) browsing_ = SmbContext::Create(settings_, ContextPurpose::kBrowsing);
    std::vector<BrowseEntry> entries;
    const DWORD error = browsing_ == nullptr ? ERROR_NO_NETWORK : ReadBrowseList(*browsing_, url, entries);
    if (error != NO_ERROR) {
      // The caller only ends the level: without this line a network or
      // workgroup whose browse list could not be read would look empty. A
      // server's share list is not reported: the computer's registry
      // connection says what is wrong with it.
      if (server.empty()) {
        messages_ << "kestrova: " << url << ": cannot read the browse list (error " << error << ": " << ReasonOf(error)
                  << ")\n";
        messages_.flush();
      }
      return error;
    }
    for (const BrowseEntry& entry : entries) {
      if (std::optional<lan::BrowseRecord> record = RecordOf(entry, server)) records.push_back(std::move(*record));
    }
  }
  std::erase_if(records, [&](const lan::BrowseRecord& record) { return !Wanted(record, type, usage); });
  level = std::make_unique<RecordLevel>(std::move(records));
  return NO_ERROR;
}

DWORD SmbLanSource::ConnectRegistry(std::u16string_view machine, HKEY root,
                                    std::unique_ptr<lan::RemoteRegistry>& registry) {
  std::unique_ptr<lan::RemoteRegistry> connected;
  const DWORD error = ConnectWinreg(machine, root, connected);
  if (error != NO_ERROR) {
    messages_ << "kestrova: \\\\" << Utf8FromUtf16(machine) << ": cannot connect to the registry (error " << error
              << ": " << ReasonOf(error) << ")\n";
    messages_.flush();
    return error;
  }
  registry = ReportingRegistry(std::move(connected), std::u16string(machine), root, messages_);
  return NO_ERROR;
}

DWORD SmbLanSource::ConnectWinreg(std::u16string_view machine, HKEY root,
                                  std::unique_ptr<lan::RemoteRegistry>& registry) {
  if (machine.empty()) return ERROR_BAD_NETPATH;
  return ConnectSmbRegistry(pipes_, machine, root, registry);
}

}  // namespace smb
