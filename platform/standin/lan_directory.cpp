#include "platform/standin/lan_directory.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/standin/code_pages.h"
#include "platform/standin/lan.h"
#include "platform/standin/lan_description.h"
#include "platform/standin/walk_bounds.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool IsRegistryExport(const fs::directory_entry& entry) {
  std::error_code error;
  if (!entry.is_regular_file(error)) return false;
  return SameIgnoringCase(entry.path().extension().string(), ".reg") && !entry.path().stem().empty();
}

// The computers of the directory's *.reg files, in byte order of their
// names.
std::vector<Computer> ComputersOfDirectory(const fs::path& directory, std::ostream& messages, bool& readable) {
  std::vector<Computer> computers;
  std::error_code error;
  fs::directory_iterator entries(directory, error);
  readable = !error;
  if (error) {
    messages << "kestrova: cannot read the LAN directory " << directory.string() << ": " << error.message()
             << "; the network is empty\n";
    return computers;
  }
  for (; entries != fs::directory_iterator(); entries.increment(error)) {
    if (!IsRegistryExport(*entries)) continue;
    Computer computer;
    computer.Name = entries->path().stem().string();
    computer.RegistryFile = entries->path();
    computers.push_back(std::move(computer));
  }
  if (error) {
    messages << "kestrova: reading the LAN directory " << directory.string() << " stopped: " << error.message()
             << '\n';
  }
  return computers;
}

std::optional<std::string> ReadWholeFile(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  if (stream.bad()) return std::nullopt;
  return text;
}

// Joins the description's computers to those of the files: faults go to
// the computer of the same name, other names add computers without a
// registry.
void AddDescribedComputers(std::vector<Computer>& computers, const std::vector<Computer>& described) {
  for (const Computer& entry : described) {
    const auto same = std::find_if(computers.begin(), computers.end(),
                                   [&](const Computer& computer) { return SameIgnoringCase(computer.Name, entry.Name); });
    if (same == computers.end()) {
      computers.push_back(entry);
      continue;
    }
    same->ConnectError = entry.ConnectError;
    same->DeniedKeys = entry.DeniedKeys;
    same->FailingValues = entry.FailingValues;
  }
}

// The host's names are UTF-8, as is the description; the ANSI functions
// hand out texts in the ANSI code page.
void ToAnsi(std::string& text, const std::string& ansi) {
  if (auto converted = ConvertEncoding(text, "UTF-8", ansi)) text = std::move(*converted);
}

void ToAnsi(std::optional<std::string>& text, const std::string& ansi) {
  if (text) ToAnsi(*text, ansi);
}

void ToAnsi(NetworkRecord& record, const std::string& ansi) {
  ToAnsi(record.LocalName, ansi);
  ToAnsi(record.RemoteName, ansi);
  ToAnsi(record.Comment, ansi);
  ToAnsi(record.Provider, ansi);
  for (NetworkRecord& child : record.Children) ToAnsi(child, ansi);
}

void ToAnsi(Lan& lan) {
  if (GetACP() == CP_UTF8) return;
  const std::string ansi = IconvCodePageName(GetACP());
  ToAnsi(lan.Top, ansi);
  for (Computer& computer : lan.Computers) {
    ToAnsi(computer.Name, ansi);
    for (std::string& key : computer.DeniedKeys) ToAnsi(key, ansi);
    for (FailingValue& value : computer.FailingValues) {
      ToAnsi(value.KeyPath, ansi);
      ToAnsi(value.ValueName, ansi);
    }
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
    NetworkRecord server;
    server.DisplayType = RESOURCEDISPLAYTYPE_SERVER;
    server.Usage = RESOURCEUSAGE_CONTAINER;  // a server holds shares
    server.RemoteName = "\\\\" + computer.Name;
    server.Provider = kWindowsNetworkProvider;
    workgroup.Children.push_back(std::move(server));
  }
  std::sort(workgroup.Children.begin(), workgroup.Children.end(),
            [](const NetworkRecord& a, const NetworkRecord& b) { return *a.RemoteName < *b.RemoteName; });

  NetworkRecord network;
  network.DisplayType = RESOURCEDISPLAYTYPE_NETWORK;
  network.Usage = RESOURCEUSAGE_CONTAINER;
  network.RemoteName = kWindowsNetworkProvider;
  network.Provider = kWindowsNetworkProvider;
  network.Children.push_back(std::move(workgroup));
  return {std::move(network)};
}

Lan LoadLanDirectory(const fs::path& directory, std::ostream& messages) {
  Lan lan;
  bool readable = false;
  lan.Computers = ComputersOfDirectory(directory, messages, readable);
  if (!readable) return lan;

  std::optional<LanDescription> description;
  const fs::path description_file = directory / kLanDescriptionFileName;
  std::error_code error;
  if (fs::exists(description_file, error)) {
    std::optional<std::string> text;
    if (fs::is_regular_file(description_file, error)) text = ReadWholeFile(description_file);
    if (text) {
      description = ParseLanDescription(*text, description_file.string(), messages);
    } else {
      messages << "kestrova: cannot read " << description_file.string()
               << "; the directory's plain layout is used instead\n";
    }
  }

  if (lan.Computers.empty() && !description) {
    messages << "kestrova: the LAN directory " << directory.string() << " holds no .reg file and no "
             << kLanDescriptionFileName << "; the network has no computer\n";
  }
  if (description) {
    AddDescribedComputers(lan.Computers, description->Computers);
    lan.Top = std::move(description->Top);
  }
  ToAnsi(lan);
  std::sort(lan.Computers.begin(), lan.Computers.end(),
            [](const Computer& a, const Computer& b) { return a.Name < b.Name; });
  if (!description || !description->HasHierarchy) lan.Top.Children = PlainLayout(lan.Computers);
  if (!KeepWalkBounded(lan.Top, messages)) {
    messages << "kestrova: " << (lan.Top.Origin.empty() ? directory.string() : lan.Top.Origin)
             << ": a walk of this network would visit more than " << kMaxWalkRecords
             << " records; the directory's plain layout is used instead\n";
    lan.Top.Children = PlainLayout(lan.Computers);
  }
  return lan;
}

std::optional<fs::path> SampleLanDirectory() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path installed = program.parent_path().parent_path() / "share" / "kestrova" / "lan";
    if (fs::is_directory(installed, error)) return installed;
  }
  // The build passes in where the source tree keeps the sample.
  const fs::path source_tree = KESTROVA_SAMPLE_LAN_DIR;
  if (fs::is_directory(source_tree, error)) return source_tree;
  return std::nullopt;
}

Lan LoadLanFromEnvironment() {
  const char* named = std::getenv(kLanDirectoryVariable);
  if (named != nullptr && named[0] != '\0') return LoadLanDirectory(named, std::cerr);
  if (const std::optional<fs::path> sample = SampleLanDirectory()) return LoadLanDirectory(*sample, std::cerr);
  std::cerr << "kestrova: " << kLanDirectoryVariable
            << " is not set and the sample LAN was not found; the network is empty\n";
  return Lan{};
}

}  // namespace standin
