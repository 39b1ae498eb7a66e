// Names of registry keys and values as the stand-in's registry compares,
// sorts and measures them, and the rules by which a subkey path is split
// into key names. Names are ANSI text; Windows keeps them as UTF-16 and
// compares them upper-cased, so the stand-in does the same through the
// ANSI code page in force.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_api.h"

namespace standin {

struct RegistryName {
  std::string Text;       // as given: the case is kept
  std::u16string Folded;  // upper-cased UTF-16: equality and order
  DWORD Utf16Length = 0;  // its length as Windows counts it
};

RegistryName MakeRegistryName(std::string_view ansi);

// The upper-cased UTF-16 form of a name, by which names compare.
std::u16string FoldName(std::string_view ansi);

// An ANSI name compared with folded names: an ASCII name byte by byte,
// any other folded once, at its first comparison.
class NameLookup {
 public:
  explicit NameLookup(std::string_view ansi);
  // Negative, 0 or positive, as folded.compare(FoldName(ansi)).
  int Order(std::u16string_view folded) const;

 private:
  std::string_view ansi_;
  bool ascii_;
  mutable std::optional<std::u16string> folded_;
};

// NameLookup(ansi).Order(folded), for a single comparison.
int CompareFolded(std::u16string_view folded, std::string_view ansi);

// The longest key name Windows accepts, in UTF-16 characters.
constexpr DWORD kMaximumKeyNameLength = 255;

struct SubkeyPath {
  LONG Status = ERROR_SUCCESS;     // not ERROR_SUCCESS: the path is refused
  std::vector<std::string> Names;  // empty: the starting key itself
};

// Splits the lpSubKey of RegOpenKeyExA, RegCreateKeyExA and RegDeleteKeyA.
SubkeyPath SplitSubkeyPath(const char* path);

// The names of SplitSubkeyPath(path) with one backslash between each two,
// and its status. `normal` views the path itself when it is written so
// already, else `storage`; it is empty for the starting key itself.
LONG NormalSubkeyPath(const char* path, std::string& storage, std::string_view& normal);

}  // namespace standin
