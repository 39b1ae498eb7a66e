// A network hierarchy as lines of text, one record a line, indented by
// depth, so that a test can state a whole hierarchy at once:
//   server "\\ATLAS" usage=2 provider="Microsoft Windows Network"
// Scope and type appear when they differ from globalnet and any, names
// when they are present (provider also as null), faults when set.
// Computers likewise, one a line.
#pragma once

#include <string>
#include <vector>

#include "platform/lan/lan_model.h"

namespace testing_support {

inline std::string DumpText(const std::optional<std::string>& text) { return text ? "\"" + *text + "\"" : "null"; }

inline std::string DumpRecord(const lan::NetworkRecord& record) {
  static const char* const kDisplayTypes[] = {"generic", "domain", "server",     "share",     "file", "group",
                                              "network", "root",   "shareadmin", "directory", "tree", "ndscontainer"};
  std::string line =
      record.DisplayType < 12 ? kDisplayTypes[record.DisplayType] : "display=" + std::to_string(record.DisplayType);
  line += " " + DumpText(record.RemoteName) + " usage=" + std::to_string(record.Usage);
  if (record.Type != RESOURCETYPE_ANY) line += " type=" + std::to_string(record.Type);
  if (record.Scope != RESOURCE_GLOBALNET) line += " scope=" + std::to_string(record.Scope);
  if (record.LocalName) line += " local=" + DumpText(record.LocalName);
  if (record.Comment) line += " comment=" + DumpText(record.Comment);
  line += " provider=" + DumpText(record.Provider);
  return line;
}

inline std::string DumpFaults(const lan::NetworkRecord& level) {
  std::string faults;
  if (level.OpenError) faults += " open=" + std::to_string(*level.OpenError);
  if (level.EnumError) {
    faults += " enum=" + std::to_string(*level.EnumError) + " after " + std::to_string(level.EnumErrorAfterBatches);
  }
  if (level.MaxRecordsPerBatch) faults += " max=" + std::to_string(*level.MaxRecordsPerBatch);
  return faults;
}

inline void DumpLevel(const lan::NetworkRecord& level, const std::string& indent, std::vector<std::string>& lines) {
  for (const lan::NetworkRecord& record : level.Children) {
    lines.push_back(indent + DumpRecord(record) + DumpFaults(record));
    DumpLevel(record, indent + "  ", lines);
  }
}

// The records below `top` (not `top` itself; DumpFaults tells its faults).
inline std::vector<std::string> DumpNetwork(const lan::NetworkRecord& top) {
  std::vector<std::string> lines;
  DumpLevel(top, "", lines);
  return lines;
}

// A computer as one line: its name, then its registry file (as the file's
// name), its connect error, its denied keys and its failing values
// (key|value|error), each when present.
inline std::string DumpComputer(const lan::Computer& computer) {
  std::string line = computer.Name;
  if (!computer.RegistryFile.empty()) line += " file=" + computer.RegistryFile.filename().string();
  if (computer.ConnectError) line += " connect=" + std::to_string(*computer.ConnectError);
  for (const std::string& key : computer.DeniedKeys) line += " denied=" + key;
  for (const lan::FailingValue& value : computer.FailingValues) {
    line += " failing=" + value.KeyPath + "|" + value.ValueName + "|" + std::to_string(value.Error);
  }
  return line;
}

inline std::vector<std::string> DumpComputers(const std::vector<lan::Computer>& computers) {
  std::vector<std::string> lines;
  for (const lan::Computer& computer : computers) lines.push_back(DumpComputer(computer));
  return lines;
}

}  // namespace testing_support
