// The simulated LAN as the stand-in serves it: the records of the network
// browser's hierarchy with their faults, and the computers whose
// registries can be connected. It is built from a LAN directory (a plain
// directory of .reg files, or a description file beside them) and read by
// the network enumeration and the registry of the stand-in.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace standin {

// One record of the network hierarchy, as WNetEnumResourceA returns it in
// a NETRESOURCEA, together with what enumerating it as a container gives.
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
  // level that WNetOpenEnumA with no parent opens):
  // WNetOpenEnumA fails with this code.
  std::optional<DWORD> OpenError;
  // WNetEnumResourceA fails with EnumError once EnumErrorAfterBatches
  // batches have been returned.
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
  // The name that RegConnectRegistryA reaches, with or without the two
  // leading backslashes; compared without regard to case.
  std::string Name;
  // Its registry export; empty for a computer with an empty registry.
  std::filesystem::path RegistryFile;
  // RegConnectRegistryA fails with this code (53: the network path was
  // not found).
  std::optional<DWORD> ConnectError;
  // Keys below HKEY_LOCAL_MACHINE that refuse any right beyond KEY_READ
  // with ERROR_ACCESS_DENIED.
  std::vector<std::string> DeniedKeys;
  std::vector<FailingValue> FailingValues;
};

// The record of a computer's server: a container (it holds shares) named
// by two backslashes and the computer's name, without a provider.
NetworkRecord ServerRecord(const std::string& computer);

struct Lan {
  // The top of the hierarchy: its Children are the top-level records and
  // its faults those of the top level.
  NetworkRecord Top;
  std::vector<Computer> Computers;
};

}  // namespace standin
