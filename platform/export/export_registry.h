// One computer's registry read from its registry export file, as a LAN
// source serves it: the file is read whole into memory (a snapshot, see
// file_contents.h) and parsed in place; its key lines are found and the
// key tree built from them alone; a value line is parsed only when a
// value of its key is asked for, and its data decoded only when they are
// fetched (a value's size is counted without them, and data larger than
// lan::kMaxValueData are never decoded: lan_source.h). The inventory's
// path (open the uninstall key, list its subkeys, read each one's
// DisplayName) allocates nothing per value.
//
// The file is read as Windows imports it (reg_file.h): a line that cannot
// be parsed is skipped. Each skipped line is reported once, when the
// registry first reads past it: key lines and the lines before the first
// key when the file is opened, value lines when a value of their key is
// asked for. The report goes to diagnostics as export_file_report.h writes
// it, "kestrova: FILE:LINE: message" (ten a file, then one closing line
// with the number of the others, given when the registry goes).
//
// Only keys of the connected root count (HKEY_LOCAL_MACHINE or
// HKEY_USERS); keys of other roots in the file are ignored.
#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/lan/lan_source.h"

namespace regfile {

// The faults of a computer that its registry plays, below
// HKEY_LOCAL_MACHINE: keys that refuse every right beyond KEY_READ with
// ERROR_ACCESS_DENIED, and values whose size can be read but whose data
// cannot be fetched.
struct ExportFaults {
  struct FailingValue {
    std::u16string KeyPath;  // below the root, names separated by backslashes
    std::u16string Name;     // empty for the default value
    DWORD Error = ERROR_ACCESS_DENIED;
  };
  std::vector<std::u16string> DeniedKeys;  // below the root, names separated by backslashes
  std::vector<FailingValue> FailingValues;
};

// Opens `file` as the registry of a computer connected at `root`:
// NO_ERROR and `registry`, ERROR_INVALID_HANDLE for a root other than
// HKEY_LOCAL_MACHINE and HKEY_USERS, or ERROR_REGISTRY_CORRUPT for a file
// that cannot be read, is no regular file, is larger than
// FileContents::kLargestFile, changes while it is read or is no registry
// export (after one message naming it on diagnostics, which must outlive
// the registry). An empty path gives an empty
// registry. REGEDIT4 text is read in `encoding`, an iconv name
// (CodePageDecoder::kDefaultEncoding when empty or unknown to iconv, after
// a message).
DWORD OpenExportRegistry(const std::filesystem::path& file, HKEY root, const std::string& encoding,
                         const ExportFaults& faults, std::ostream& diagnostics,
                         std::unique_ptr<lan::RemoteRegistry>& registry);

}  // namespace regfile
