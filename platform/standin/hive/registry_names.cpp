#include "platform/standin/hive/registry_names.h"

#include <algorithm>
#include <optional>

#include "platform/lan/name_folding.h"
#include "platform/standin/locale/code_pages.h"

namespace standin {
namespace {

// The units of an ANSI name in UTF-16; a name that is not valid in the
// code page keeps one unit per byte.
std::u16string Utf16Units(std::string_view ansi) {
  std::u16string units;
  units.reserve(ansi.size());
  bool ascii = true;
  for (char byte : ansi) ascii = ascii && static_cast<unsigned char>(byte) < 0x80;
  std::optional<std::string> wide;
  if (!ascii) wide = ConvertEncoding(ansi, IconvCodePageName(GetACP()), "UTF-16LE");
  if (!wide) {
    for (char byte : ansi) units.push_back(static_cast<unsigned char>(byte));
    return units;
  }
  for (std::size_t i = 0; i + 1 < wide->size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>((*wide)[i]) |
                                          static_cast<unsigned char>((*wide)[i + 1]) << 8));
  }
  return units;
}

}  // namespace

NameLookup::NameLookup(std::string_view ansi)
    : ansi_(ansi),
      ascii_(std::all_of(ansi.begin(), ansi.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; })) {
}

int NameLookup::Order(std::u16string_view folded) const {
  if (!ascii_) {
    if (!folded_) folded_ = FoldName(ansi_);
    return folded.compare(*folded_);
  }
  // ASCII bytes fold one to one: no conversion is needed.
  const std::size_t common = std::min(folded.size(), ansi_.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t unit = lan::FoldedUnit(static_cast<unsigned char>(ansi_[i]));
    if (folded[i] != unit) return folded[i] < unit ? -1 : 1;
  }
  if (folded.size() == ansi_.size()) return 0;
  return folded.size() < ansi_.size() ? -1 : 1;
}

int CompareFolded(std::u16string_view folded, std::string_view ansi) { return NameLookup(ansi).Order(folded); }

std::u16string FoldName(std::string_view ansi) {
  std::u16string folded = Utf16Units(ansi);
  for (char16_t& unit : folded) unit = lan::FoldedUnit(unit);
  return folded;
}

RegistryName MakeRegistryName(std::string_view ansi) {
  RegistryName name;
  name.Text = std::string(ansi);
  name.Folded = FoldName(ansi);
  name.Utf16Length = static_cast<DWORD>(name.Folded.size());
  return name;
}

namespace {

// How Windows reads a subkey path; the registry contract tests hold the
// stand-in and Windows' own registry to the same rules:
// - a null path and the empty path name the starting key itself (the
//   call then opens a new handle to that key);
// - a leading backslash is refused with ERROR_BAD_PATHNAME (161): the
//   path is relative to the starting key and cannot be absolute;
// - a trailing backslash is ignored;
// - a run of backslashes between two names separates them like one;
// - a name longer than 255 UTF-16 characters is refused with
//   ERROR_INVALID_PARAMETER (87).
// Each name of the path is handed to each_name; the status is the path's.
template <typename EachName>
LONG ForEachSubkeyName(std::string_view text, EachName&& each_name) {
  if (!text.empty() && text.front() == '\\') return static_cast<LONG>(ERROR_BAD_PATHNAME);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\\', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) {
      const std::string_view name = text.substr(start, end - start);
      if (name.size() > kMaximumKeyNameLength && MakeRegistryName(name).Utf16Length > kMaximumKeyNameLength) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
      }
      each_name(name);
    }
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

}  // namespace

SubkeyPath SplitSubkeyPath(const char* path) {
  SubkeyPath result;
  if (path == nullptr) return result;
  result.Status = ForEachSubkeyName(path, [&](std::string_view name) { result.Names.emplace_back(name); });
  if (result.Status != ERROR_SUCCESS) result.Names.clear();
  return result;
}

LONG NormalSubkeyPath(const char* path, std::string& storage, std::string_view& normal) {
  normal = {};
  if (path == nullptr) return ERROR_SUCCESS;
  const std::string_view text(path);
  std::size_t name_count = 0;
  std::size_t name_bytes = 0;
  const LONG status = ForEachSubkeyName(text, [&](std::string_view name) {
    ++name_count;
    name_bytes += name.size();
  });
  if (status != ERROR_SUCCESS || name_count == 0) return status;
  // Names and one backslash between each two make up the whole text: it
  // is normal already (the common case), and is taken as it is.
  if (name_bytes + name_count - 1 == text.size()) {
    normal = text;
    return ERROR_SUCCESS;
  }
  storage.clear();
  ForEachSubkeyName(text, [&](std::string_view name) {
    if (!storage.empty()) storage += '\\';
    storage += name;
  });
  normal = storage;
  return ERROR_SUCCESS;
}

}  // namespace standin
