// A simulated LAN: the records of the network browser's hierarchy with
// their faults, and the computers whose registries can be connected. It is
// read from a LAN directory (a plain directory of .reg files, or a
// description file beside them, lan_directory_reader.h) and served through
// the LAN source interface by DirectoryLanSource (directory_lan_source.h).
// Names and texts are UTF-8, as the files and the description give them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_api.h"

namespace lan {

// One record of the network hierarchy, as the network browser hands it
// out, together with what enumerating it as a container gives.
struct NetworkRecord {
  DWORD Scope = RESOURCE_GLOBALNET;
  DWORD Type = RESOURCETYPE_ANY;
  DWORD DisplayType = RESOURCEDISPLAYTYPE_GENERIC;
  DWORD Usage = 0;
  // Absent strings are null pointers in the record.
  std::optional<std::string> LocalName;
  std::optional<std::string> RemoteName;
  std::optional<std::string> Comment;
  std::optional<std::string> Provider;

  // The records that opening this record as a container enumerates.
  std::vector<NetworkRecord> Children;

  // Faults of the level below this record (for the top level, of the
  // level that opening the top of the hierarchy opens): opening it fails
  // with OpenError; enumerating it fails with EnumError once
  // EnumErrorAfterBatches batches have been handed out.
  std::optional<DWORD> OpenError;
  std::optional<DWORD> EnumError;
  int EnumErrorAfterBatches = 0;
  // No batch holds more records than this.
  std::optional<DWORD> MaxRecordsPerBatch;

  // Where the record was described, for messages: "file:line".
  std::string Origin;
};

// A value whose size can be read but whose data cannot be fetched.
struct FailingValue {
  std::string KeyPath;  // below HKEY_LOCAL_MACHINE, no leading backslash
  std::string ValueName;
  DWORD Error = ERROR_ACCESS_DENIED;
};

struct Computer {
  // The name that a registry connection reaches, with or without the two
  // leading backslashes; compared without regard to case.
  std::string Name;
  // Its registry export; empty for a computer with an empty registry.
  std::filesystem::path RegistryFile;
  // Connecting its registry fails with this code (53: the network path
  // was not found).
  std::optional<DWORD> ConnectError;
  // Keys below HKEY_LOCAL_MACHINE that refuse any right beyond KEY_READ
  // with ERROR_ACCESS_DENIED.
  std::vector<std::string> DeniedKeys;
  std::vector<FailingValue> FailingValues;
  // The iconv name of the code page that a REGEDIT4 export was written in;
  // empty for the LAN's default.
  std::string CodePage;
};

// A computer's name without the two backslashes that may lead it.
std::string_view WithoutNetworkPrefix(std::string_view name);

// The record of a computer's server: a container (it holds shares) named
// by two backslashes and the computer's name, without a provider.
NetworkRecord ServerRecord(const std::string& computer);

struct Lan {
  // The top of the hierarchy: its Children are the top-level records and
  // its faults those of the top level.
  NetworkRecord Top;
  std::vector<Computer> Computers;
};

}  // namespace lan
