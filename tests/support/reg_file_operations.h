// The tests' oracle of what an export file says: the whole file read with
// the line grammar (platform/export/reg_file.h) as Windows' importer reads
// it, as a neutral list of operations (create a key, delete a key tree,
// set a value, delete a value) with names and data in the reader's ANSI
// code page, which reg_import.h applies through the Windows API. The
// tests seed a registry with it (the stand-in's and a real one under
// Wine) and compare the registry read in place from the same file with
// it; the program itself reads no file this way.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export/reg_file.h"

namespace regfile {

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
  // Everything that was read, in file order.
  std::vector<Operation> Operations;
  // The lines that were skipped, each with what is wrong with it.
  std::vector<ParseError> Skipped;
  // Set when the file was refused whole (its first line is no export
  // header); nothing was read then.
  std::optional<ParseError> Error;
};

// Converts UTF-16LE bytes (no byte-order mark, an even count) to the ANSI
// code page; nullopt when they are not valid UTF-16.
using AnsiFromUtf16 = std::function<std::optional<std::string>(std::string_view utf16le)>;

// The bytes of a file without a byte-order mark are taken as ANSI bytes as
// they stand: the importer runs where the file's code page is the ANSI
// one.
ParseResult ParseRegFile(std::string_view file_bytes, const AnsiFromUtf16& to_ansi);

}  // namespace regfile
