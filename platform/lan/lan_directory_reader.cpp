#include "platform/lan/lan_directory_reader.h"

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>

#include "platform/ascii_case.h"
#include "platform/lan/lan_description.h"
#include "platform/lan/opened_file.h"
#include "platform/lan/utf16_text.h"
#include "platform/lan/visible_text.h"
#include "platform/lan/walk_bounds.h"

namespace fs = std::filesystem;

namespace lan {
namespace {

// A path as UTF-8, as names and messages hold it on every host.
std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A path as a message shows it.
std::string Visible(const fs::path& path) { return VisibleText(Utf8(path)); }

bool NamedLikeAnExport(const fs::path& path) {
  return ascii_case::Same(Utf8(path.extension()), ".reg") && !path.stem().empty();
}

// True for a regular file; anything else named like an export (a FIFO, a
// device, a link to nothing) is reported and left out, a directory without
// a word. The file is opened to tell, without waiting, and closed again:
// its export is opened anew when its computer is connected.
bool IsRegularFile(const fs::path& path, std::ostream& diagnostics) {
  const OpenedFile file(path);
  if (file.Error() != 0) {
    diagnostics << "kestrova: " << Visible(path) << ": cannot be opened (" << ErrorText(file.Error())
                << "); it is left out\n";
    return false;
  }
  if (const std::string kind = file.NotRegular(); !kind.empty()) {
    if (!file.IsDirectory()) {
      diagnostics << "kestrova: " << Visible(path) << " is " << kind << ", not a regular file; it is left out\n";
    }
    return false;
  }
  return true;
}

// The computers of the directory's *.reg files, in byte order of their
// names.
std::vector<Computer> ComputersOfDirectory(const fs::path& directory, std::ostream& diagnostics,
                                           const FileNameDecoding& decode, bool& readable) {
  std::vector<Computer> computers;
  std::error_code error;
  fs::directory_iterator entries(directory, error);
  readable = !error;
  if (error) {
    diagnostics << "kestrova: cannot read the LAN directory " << Visible(directory) << ": " << error.message()
                << "; the network is empty\n";
    return computers;
  }
  for (; entries != fs::directory_iterator(); entries.increment(error)) {
    if (!NamedLikeAnExport(entries->path()) || !IsRegularFile(entries->path(), diagnostics)) continue;
    Computer computer;
    computer.Name = Utf8(entries->path().stem());
    if (decode && !IsUtf8(computer.Name)) computer.Name = decode(computer.Name);
    computer.RegistryFile = entries->path();
    computers.push_back(std::move(computer));
  }
  if (error) {
    diagnostics << "kestrova: reading the LAN directory " << Visible(directory) << " stopped: " << error.message()
                << '\n';
  }
  return computers;
}

// The description of the directory, when it has one that can be read:
// not when it is missing (`present` false), and not (with a message) when
// it cannot be read, is no regular file or is larger than
// kMaxDescriptionSize.
std::optional<LanDescription> ReadDescription(const fs::path& file, std::ostream& diagnostics, bool& present) {
  OpenedFile opened(file);
  present = opened.Error() != ENOENT;
  if (!present) return std::nullopt;
  const std::string name = Visible(file);
  const char* const instead = "; the directory's plain layout is used instead\n";
  if (const std::string kind = opened.Error() == 0 ? opened.NotRegular() : ""; !kind.empty()) {
    diagnostics << "kestrova: " << name << " is " << kind << ", not a regular file" << instead;
    return std::nullopt;
  }
  std::string text;
  const int error = opened.ReadAll(kMaxDescriptionSize, text);
  if (error == EFBIG) {
    diagnostics << "kestrova: " << name << " is larger than " << kMaxDescriptionSize / (1024 * 1024)
                << " MiB, the most that a description may hold" << instead;
    return std::nullopt;
  }
  if (error != 0) {
    diagnostics << "kestrova: cannot read " << name << " (" << ErrorText(error) << ")" << instead;
    return std::nullopt;
  }
  return ParseLanDescription(text, Utf8(file), diagnostics);
}

// Puts `items` in byte order of their names (equal names in the order
// they had), moving each item once: sorting the items themselves would
// move them some n log n times, and they are large.
template <class Item, class NameOf>
void SortByName(std::vector<Item>& items, const NameOf& name_of) {
  std::vector<std::size_t> order(items.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return name_of(items[a]) < name_of(items[b]); });
  std::vector<Item> sorted;
  sorted.reserve(items.size());
  for (const std::size_t index : order) sorted.push_back(std::move(items[index]));
  items = std::move(sorted);
}

// Joins the description's computers to those of the files: faults go to
// the computer of the same name, other names add computers without a
// registry.
void AddDescribedComputers(std::vector<Computer>& computers, std::vector<Computer>& described) {
  std::unordered_map<std::string, std::size_t> of_files;
  of_files.reserve(computers.size());
  for (std::size_t i = 0; i < computers.size(); ++i) of_files.try_emplace(ascii_case::FoldedText(computers[i].Name), i);
  for (Computer& entry : described) {
    const auto same = of_files.find(ascii_case::FoldedText(entry.Name));
    if (same == of_files.end()) {
      computers.push_back(std::move(entry));
      continue;
    }
    Computer& computer = computers[same->second];
    computer.ConnectError = entry.ConnectError;
    computer.DeniedKeys = std::move(entry.DeniedKeys);
    computer.FailingValues = std::move(entry.FailingValues);
    computer.CodePage = std::move(entry.CodePage);
  }
}

}  // namespace

std::vector<NetworkRecord> PlainLayout(const std::vector<Computer>& computers) {
  NetworkRecord workgroup;
  workgroup.DisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
  workgroup.Usage = RESOURCEUSAGE_CONTAINER;
  workgroup.RemoteName = "WORKGROUP";
  workgroup.Provider = kWindowsNetworkProvider;
  for (const Computer& computer : computers) {
    NetworkRecord server = ServerRecord(computer.Name);
    server.Provider = kWindowsNetworkProvider;
    workgroup.Children.push_back(std::move(server));
  }
  SortByName(workgroup.Children, [](const NetworkRecord& server) -> const std::string& { return *server.RemoteName; });

  NetworkRecord network;
  network.DisplayType = RESOURCEDISPLAYTYPE_NETWORK;
  network.Usage = RESOURCEUSAGE_CONTAINER;
  network.RemoteName = kWindowsNetworkProvider;
  network.Provider = kWindowsNetworkProvider;
  network.Children.push_back(std::move(workgroup));
  return {std::move(network)};
}

Lan LoadLanDirectory(const fs::path& directory, std::ostream& diagnostics, const FileNameDecoding& decode) {
  Lan lan;
  bool readable = false;
  lan.Computers = ComputersOfDirectory(directory, diagnostics, decode, readable);
  if (!readable) return lan;

  bool described = false;
  std::optional<LanDescription> description =
      ReadDescription(directory / kLanDescriptionFileName, diagnostics, described);

  // A description that was refused has been reported already.
  if (lan.Computers.empty() && !described) {
    diagnostics << "kestrova: the LAN directory " << Visible(directory) << " holds no .reg file and no "
                << kLanDescriptionFileName << "; the network has no computer\n";
  }
  if (description) {
    AddDescribedComputers(lan.Computers, description->Computers);
    for (Computer& computer : lan.Computers) {
      if (computer.CodePage.empty()) computer.CodePage = description->CodePage;
    }
    lan.Top = std::move(description->Top);
  }
  SortByName(lan.Computers, [](const Computer& computer) -> const std::string& { return computer.Name; });
  if (!description || !description->HasHierarchy) lan.Top.Children = PlainLayout(lan.Computers);
  if (!KeepWalkBounded(lan.Top, diagnostics)) {
    diagnostics << "kestrova: " << (lan.Top.Origin.empty() ? Visible(directory) : lan.Top.Origin)
                << ": a walk of this network would visit more than " << kMaxWalkRecords
                << " records; the directory's plain layout is used instead\n";
    lan.Top.Children = PlainLayout(lan.Computers);
  }
  return lan;
}

}  // namespace lan
