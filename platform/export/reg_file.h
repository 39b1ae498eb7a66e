// Registry export files (.reg) as the Windows registry editor writes them,
// read into a neutral list of operations: create a key, delete a key tree,
// set a value, delete a value. Applying the list is left to the caller (the
// stand-in's in-memory registry, or a real registry through the Windows
// API, see reg_import.h).
//
// Two formats are understood:
// - "REGEDIT4": the text is taken as ANSI bytes as they stand, and so is
//   the data of hex(1), hex(2) and hex(7).
// - "Windows Registry Editor Version 5.00": UTF-16LE text after a
//   byte-order mark. Names and strings are converted to the ANSI code page
//   by the caller's converter, and so is the data of hex(1), hex(2) and
//   hex(7), which this format holds as UTF-16LE.
//
// The parser makes no platform call and never fails hard: a malformed file
// gives the first error with its line number.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_api.h"

namespace regfile {

// The predefined roots that a key line may name.
enum class Root { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

// The predefined handle of a root.
HKEY RootHandle(Root root);

enum class OperationKind {
  kCreateKey,    // [ROOT\path]: the key, created when missing
  kDeleteKey,    // [-ROOT\path]: the key and everything below it
  kSetValue,     // "name"=data below the latest key line
  kDeleteValue,  // "name"=-
};

struct Operation {
  OperationKind Kind = OperationKind::kCreateKey;
  Root KeyRoot = Root::kLocalMachine;
  // Below the root, ANSI, without a leading backslash; empty for the root
  // itself. Passed on as written otherwise.
  std::string KeyPath;
  // Values only; empty for the default value (@).
  std::string ValueName;
  DWORD Type = REG_NONE;
  std::string Data;
  // The line of the file where the key line or value begins (1-based).
  int Line = 0;

  bool operator==(const Operation&) const = default;
};

struct ParseError {
  int Line = 0;
  std::string Message;
};

struct ParseResult {
  // Everything read before the first error, in file order.
  std::vector<Operation> Operations;
  std::optional<ParseError> Error;
};

// Converts UTF-16LE bytes (no byte-order mark, an even count) to the ANSI
// code page; nullopt when they are not valid UTF-16.
using AnsiFromUtf16 = std::function<std::optional<std::string>(std::string_view utf16le)>;

ParseResult ParseRegFile(std::string_view file_bytes, const AnsiFromUtf16& to_ansi);

}  // namespace regfile
