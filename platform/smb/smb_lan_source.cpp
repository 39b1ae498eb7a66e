#include "platform/smb/smb_lan_source.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/discovery/source_run.h"
#include "platform/lan/utf16_text.h"
#include "platform/lan/visible_text.h"
#include "platform/smb/address_probe.h"
#include "platform/smb/browse_list_source.h"
#include "platform/smb/computers_read_ahead.h"
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

lan::BrowseRecord ServerRecord(const discovery::DiscoveredComputer& computer) {
  lan::BrowseRecord record = Container(RESOURCEDISPLAYTYPE_SERVER, u"\\\\" + Utf16Name(computer.Name));
  if (!computer.Comment.empty()) record.Comment = Utf16Name(computer.Comment);
  return record;
}

// A server's share, or nothing for an entry of another kind, of a name
// longer than a share's, or of a hidden share.
std::optional<lan::BrowseRecord> ShareRecord(const BrowseEntry& entry, std::u16string_view server) {
  if (entry.Kind != BrowseEntryKind::kDiskShare && entry.Kind != BrowseEntryKind::kPrinterShare) return std::nullopt;
  if (entry.Name.empty() || entry.Name.size() > kMaxBrowseNameBytes) return std::nullopt;
  const std::u16string name = Utf16Name(entry.Name);
  if (name.ends_with(u'$')) return std::nullopt;
  lan::BrowseRecord record;
  record.Type = entry.Kind == BrowseEntryKind::kDiskShare ? RESOURCETYPE_DISK : RESOURCETYPE_PRINT;
  record.DisplayType = RESOURCEDISPLAYTYPE_SHARE;
  record.Usage = RESOURCEUSAGE_CONNECTABLE;
  record.RemoteName = u"\\\\" + std::u16string(server) + u"\\" + name;
  // A comment longer than a Windows comment is dropped.
  record.Comment = entry.Comment.size() <= kMaxBrowseCommentBytes ? Utf16Name(entry.Comment) : std::u16string();
  record.Provider = std::u16string(kProviderName);
  return record;
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

// Opens pipes at the address that discovery found for the computer's name,
// by name where it found none. The read-ahead opens pipes from threads of
// its own, so the hierarchy is looked up under a lock.
class SmbLanSource::AddressedPipes : public rpc::PipeOpener {
 public:
  explicit AddressedPipes(std::unique_ptr<rpc::PipeOpener> base) : base_(std::move(base)) {}

  void Use(std::shared_ptr<const discovery::DiscoveredNetwork> network) {
    const std::lock_guard lock(mutex_);
    network_ = std::move(network);
  }

  // The address to reach `machine` at; empty: by its name.
  std::string AddressOf(std::u16string_view machine) {
    const std::lock_guard lock(mutex_);
    return network_ == nullptr ? std::string() : std::string(network_->AddressOf(Utf8Name(machine)));
  }

  DWORD Open(std::u16string_view server, std::string_view pipe_name, std::unique_ptr<rpc::MessagePipe>& pipe) override {
    const std::string address = AddressOf(server);
    if (address.empty()) return base_->Open(server, pipe_name, pipe);
    return base_->Open(Utf16Name(address), pipe_name, pipe);
  }

  std::chrono::milliseconds CallTimeLimit() const override { return base_->CallTimeLimit(); }

  void Cancel() override { base_->Cancel(); }

 private:
  std::unique_ptr<rpc::PipeOpener> base_;
  std::mutex mutex_;
  std::shared_ptr<const discovery::DiscoveredNetwork> network_;
};

SmbLanSource::SmbLanSource(const SmbSettings& settings, std::ostream& diagnostics,
                           std::shared_ptr<BrowseListReader> browse_lists,
                           std::vector<std::unique_ptr<discovery::DiscoverySource>> sources,
                           discovery::MergeOptions merge, std::unique_ptr<rpc::PipeOpener> pipes,
                           std::shared_ptr<Reachability> reachability)
    : settings_(settings),
      diagnostics_(diagnostics),
      browse_lists_(browse_lists != nullptr ? std::move(browse_lists) : MakeSmbBrowseListReader(settings)),
      sources_(std::move(sources)),
      merge_(std::move(merge)),
      reachability_(std::move(reachability)),
      pipes_(std::make_unique<AddressedPipes>(
          pipes != nullptr ? std::move(pipes) : std::make_unique<SmbPipeOpener>(settings, reachability_))) {}

SmbLanSource::SmbLanSource(const SmbSettings& settings, std::ostream& diagnostics,
                           std::unique_ptr<BrowseListReader> browse_lists)
    : SmbLanSource(settings, diagnostics, std::shared_ptr<BrowseListReader>(std::move(browse_lists)), {}, {}) {
  sources_.push_back(std::make_unique<BrowseListSource>(browse_lists_, std::nullopt));
}

SmbLanSource::~SmbLanSource() = default;

const discovery::DiscoveredNetwork& SmbLanSource::Discovered() {
  if (discovered_ == nullptr) {
    const std::vector<discovery::Findings> findings = discovery::RunSources(sources_, diagnostics_);
    discovered_ = std::make_shared<const discovery::DiscoveredNetwork>(findings, merge_, diagnostics_);
    pipes_->Use(discovered_);
    if (reachability_ != nullptr) {
      // Every computer is probed at once, so that those that do not
      // answer cost one time limit in all, not one each in turn, and
      // while the walk goes on with those that answered.
      std::vector<std::string> hosts;
      for (const discovery::DiscoveredContainer& container : discovered_->Containers()) {
        for (const discovery::DiscoveredComputer& computer : container.Computers) {
          const std::string_view address = discovered_->AddressOf(computer.Name);
          hosts.emplace_back(address.empty() ? std::string_view(computer.Name) : address);
        }
      }
      reachability_->StartReachingAll(std::move(hosts));
    }
  }
  return *discovered_;
}

ComputersReadAhead* SmbLanSource::ReadAhead(HKEY root) {
  // The order of the computers is known once discovery ran, which the
  // program's walk of the network did; the inventory reads HKEY_LOCAL_MACHINE.
  if (settings_.ParallelComputers <= 1 || root != HKEY_LOCAL_MACHINE || discovered_ == nullptr) return nullptr;
  if (read_ahead_ == nullptr) {
    std::vector<std::u16string> order;
    for (const discovery::DiscoveredContainer& container : discovered_->Containers()) {
      for (const discovery::DiscoveredComputer& computer : container.Computers)
        order.push_back(Utf16Name(computer.Name));
    }
    read_ahead_ = std::make_unique<ComputersReadAhead>(
        std::move(order), static_cast<std::size_t>(settings_.ParallelComputers),
        [this](std::u16string_view machine, std::ostream& diagnostics, std::unique_ptr<lan::RemoteRegistry>& registry) {
          return winreg::ConnectRegistry(*pipes_, machine, HKEY_LOCAL_MACHINE, diagnostics, registry);
        },
        [this] { pipes_->Cancel(); }, diagnostics_);
  }
  return read_ahead_.get();
}

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
    switch (*kind) {
      case BrowseListKind::kWorkgroups:
        for (const discovery::DiscoveredContainer& found : Discovered().Containers()) {
          records.push_back(Container(RESOURCEDISPLAYTYPE_DOMAIN, Utf16Name(found.Name)));
        }
        break;
      case BrowseListKind::kServers: {
        const discovery::DiscoveredContainer* found = Discovered().FindContainer(Utf8Name(name));
        if (found == nullptr) return ERROR_BAD_NETPATH;
        for (const discovery::DiscoveredComputer& computer : found->Computers)
          records.push_back(ServerRecord(computer));
        break;
      }
      case BrowseListKind::kShares: {
        // A share list that cannot be read is not reported: the
        // computer's registry connection says what is wrong with it.
        const std::string address = pipes_->AddressOf(name);
        std::string host = address.empty() ? Utf8Name(name) : address;
        if (reachability_ != nullptr) {
          if (reachability_->Reach(host) != ProbeResult::kAnswered) {
            return WindowsErrorFromErrno(ETIMEDOUT, SmbStep::kBrowse);
          }
          // The share list is read anonymously, so the address that the
          // probe's name query found serves as well as the name, and spares
          // libsmbclient resolving the name again for each server in turn.
          if (std::string resolved = reachability_->ResolvedAddress(host); !resolved.empty())
            host = std::move(resolved);
        }
        std::vector<BrowseEntry> entries;
        if (const DWORD error = browse_lists_->Read(*kind, host, entries); error != NO_ERROR) return error;
        if (entries.size() > kMaxBrowseEntries) entries.resize(kMaxBrowseEntries);
        for (const BrowseEntry& entry : entries) {
          if (std::optional<lan::BrowseRecord> record = ShareRecord(entry, name)) records.push_back(std::move(*record));
        }
        break;
      }
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
  DWORD error = ERROR_BAD_NETPATH;
  if (machine.empty()) {
    // No computer: nothing to connect.
  } else if (ComputersReadAhead* ahead = ReadAhead(root); ahead == nullptr || !ahead->Take(machine, error, connected)) {
    error = winreg::ConnectRegistry(*pipes_, machine, root, diagnostics_, connected);
  }
  if (error != NO_ERROR) {
    // Where the computer is reached at an address other than its name,
    // the message says where.
    const std::string address = pipes_->AddressOf(machine);
    const bool elsewhere = !address.empty() && !ascii_case::Same(address, Utf8Name(machine));
    diagnostics_ << "kestrova: \\\\" << lan::VisibleText(Utf8Name(machine)) << ": cannot connect to the registry"
                 << (elsewhere ? " at " + lan::VisibleText(address) : "") << " (error " << error << ": "
                 << ReasonOf(error) << ")\n";
    diagnostics_.flush();
    return error;
  }
  registry = std::make_unique<ReportingRegistry>(std::move(connected), std::u16string(machine), root, diagnostics_);
  return NO_ERROR;
}

}  // namespace smb
