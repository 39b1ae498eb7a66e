#include "platform/lan/lan_description.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>
#include <unordered_set>
#include <variant>

#include "platform/ascii_case.h"
#include "platform/lan/located_json.h"

namespace lan {
namespace {

using Kind = LocatedJson::Kind;
using Members = std::vector<LocatedMember>;

struct NamedValue {
  const char* Name;
  DWORD Value;
};

constexpr NamedValue kScopes[] = {
    {"connected", RESOURCE_CONNECTED}, {"globalnet", RESOURCE_GLOBALNET}, {"remembered", RESOURCE_REMEMBERED},
    {"recent", RESOURCE_RECENT},       {"context", RESOURCE_CONTEXT},
};
constexpr NamedValue kTypes[] = {
    {"any", RESOURCETYPE_ANY},           {"disk", RESOURCETYPE_DISK},       {"print", RESOURCETYPE_PRINT},
    {"reserved", RESOURCETYPE_RESERVED}, {"unknown", RESOURCETYPE_UNKNOWN},
};
constexpr NamedValue kDisplayTypes[] = {
    {"generic", RESOURCEDISPLAYTYPE_GENERIC},
    {"domain", RESOURCEDISPLAYTYPE_DOMAIN},
    {"server", RESOURCEDISPLAYTYPE_SERVER},
    {"share", RESOURCEDISPLAYTYPE_SHARE},
    {"file", RESOURCEDISPLAYTYPE_FILE},
    {"group", RESOURCEDISPLAYTYPE_GROUP},
    {"network", RESOURCEDISPLAYTYPE_NETWORK},
    {"root", RESOURCEDISPLAYTYPE_ROOT},
    {"shareadmin", RESOURCEDISPLAYTYPE_SHAREADMIN},
    {"directory", RESOURCEDISPLAYTYPE_DIRECTORY},
    {"tree", RESOURCEDISPLAYTYPE_TREE},
    {"ndscontainer", RESOURCEDISPLAYTYPE_NDSCONTAINER},
};
constexpr NamedValue kUsages[] = {
    {"connectable", RESOURCEUSAGE_CONNECTABLE},     {"container", RESOURCEUSAGE_CONTAINER},
    {"nolocaldevice", RESOURCEUSAGE_NOLOCALDEVICE}, {"sibling", RESOURCEUSAGE_SIBLING},
    {"attached", RESOURCEUSAGE_ATTACHED},           {"all", RESOURCEUSAGE_ALL},
};

// A key path below HKEY_LOCAL_MACHINE as the model holds it: without the
// root's name and without leading or trailing backslashes.
std::string KeyBelowLocalMachine(std::string path) {
  while (!path.empty() && path.front() == '\\') path.erase(0, 1);
  for (std::string_view root : {"HKEY_LOCAL_MACHINE", "HKLM"}) {
    if (ascii_case::Same(std::string_view(path).substr(0, root.size()), root) &&
        (path.size() == root.size() || path[root.size()] == '\\')) {
      path.erase(0, root.size());
      while (!path.empty() && path.front() == '\\') path.erase(0, 1);
      break;
    }
  }
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string BareComputerName(std::string name) {
  while (!name.empty() && name.front() == '\\') name.erase(0, 1);
  return name;
}

class DescriptionReader {
 public:
  DescriptionReader(const std::string& file_name, std::ostream& messages)
      : file_name_(file_name), messages_(messages) {}

  std::optional<LanDescription> Read(std::string_view text) {
    std::variant<LocatedJson, JsonSyntaxError> parsed = ParseLocatedJson(text);
    if (const auto* error = std::get_if<JsonSyntaxError>(&parsed)) {
      Report(error->Line, error->Message + "; the directory's plain layout is used instead");
      return std::nullopt;
    }
    const LocatedJson& root = std::get<LocatedJson>(parsed);
    if (root.Type != Kind::Object) {
      Report(root.Line, "the description must be a JSON object, not " + DescribeKind(root) +
                            "; the directory's plain layout is used instead");
      return std::nullopt;
    }

    LanDescription description;
    std::set<std::string> seen;
    for (const auto& [name, value] : root.Members) {
      if (!seen.insert(name).second) {
        Report(value.Line, "field " + QuotedText(name) + " given twice; the second is left out");
        continue;
      }
      if (name == "Children") {
        if (const auto children = ReadChildren(value, kWindowsNetworkProvider)) {
          description.Top.Children = *children;
          description.HasHierarchy = true;
        }
      } else if (name == "Computers") {
        description.Computers = ReadComputers(value);
      } else if (name == "CodePage") {
        if (auto code_page = ReadCodePage(value)) description.CodePage = std::move(*code_page);
      } else if (!ReadLevelFault(name, value, description.Top)) {
        if (!IsLevelFault(name)) Report(value.Line, "unknown field " + QuotedText(name) + " at the top");
      }
    }
    description.Top.Origin = Origin(root.Line);
    return description;
  }

 private:
  void Report(int line, const std::string& what) {
    messages_ << "kestrova: " << file_name_ << ':' << line << ": " << what << '\n';
  }

  std::string Origin(int line) const { return file_name_ + ":" + std::to_string(line); }

  // Fields that a record and the top level share: the faults of the level
  // below them.
  static bool IsLevelFault(std::string_view name) {
    return name == "OpenError" || name == "EnumError" || name == "EnumErrorAfterBatches" ||
           name == "MaxRecordsPerBatch";
  }

  // Puts what a Read function read into `field`; answers whether it read
  // anything (it has reported what was wrong otherwise).
  template <class Read, class Field>
  static bool Store(const std::optional<Read>& read, Field& field) {
    if (read) field = static_cast<Field>(*read);
    return read.has_value();
  }

  // Reads a fault of a level into `level`; answers false (after a
  // message) when the value is wrong, and false without a message when
  // the name is no fault.
  bool ReadLevelFault(const std::string& name, const LocatedJson& value, NetworkRecord& level) {
    if (name == "OpenError") return Store(ReadErrorCode(value, name), level.OpenError);
    if (name == "EnumError") return Store(ReadErrorCode(value, name), level.EnumError);
    if (name == "EnumErrorAfterBatches") return Store(ReadWhole(value, name, 0, INT_MAX), level.EnumErrorAfterBatches);
    if (name == "MaxRecordsPerBatch") return Store(ReadWhole(value, name, 1, 0xFFFFFFFF), level.MaxRecordsPerBatch);
    return false;
  }

  // True for an array; otherwise reports "`what` must be an array...".
  bool IsArray(const LocatedJson& value, const std::string& what) {
    if (value.Type == Kind::Array) return true;
    Report(value.Line, what + ", not " + DescribeKind(value));
    return false;
  }

  std::optional<std::uint64_t> ReadWhole(const LocatedJson& value, const std::string& field, std::uint64_t least,
                                         std::uint64_t most) {
    if (value.Type == Kind::Number && value.Whole && *value.Whole >= least && *value.Whole <= most) {
      return *value.Whole;
    }
    Report(value.Line, field + " must be a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
                           ", not " + DescribeKind(value));
    return std::nullopt;
  }

  std::optional<DWORD> ReadErrorCode(const LocatedJson& value, const std::string& field) {
    const auto code = ReadWhole(value, field, 1, 0xFFFFFFFF);
    if (!code) return std::nullopt;
    return static_cast<DWORD>(*code);
  }

  // A DWORD field given as a number or by one of its names, in any case.
  template <std::size_t N>
  std::optional<DWORD> ReadNamedNumber(const LocatedJson& value, const NamedValue (&names)[N], const char* what) {
    if (value.Type == Kind::Number && value.Whole && *value.Whole <= 0xFFFFFFFF) {
      return static_cast<DWORD>(*value.Whole);
    }
    if (value.Type == Kind::String) {
      for (const NamedValue& named : names) {
        if (ascii_case::Same(value.Text, named.Name)) return named.Value;
      }
      Report(value.Line, std::string("unknown ") + what + " " + QuotedText(value.Text));
      return std::nullopt;
    }
    Report(value.Line,
           std::string("a ") + what + " must be a name or a number from 0 to 4294967295, not " + DescribeKind(value));
    return std::nullopt;
  }

  // Usage may also be a list of names and numbers, which add up.
  std::optional<DWORD> ReadUsage(const LocatedJson& value) {
    if (value.Type != Kind::Array) return ReadNamedNumber(value, kUsages, "usage");
    DWORD usage = 0;
    for (const LocatedJson& item : value.Items) {
      const auto bits = ReadNamedNumber(item, kUsages, "usage");
      if (!bits) return std::nullopt;
      usage |= *bits;
    }
    return usage;
  }

  // A text that must be given, and must not be empty when `non_empty`.
  std::optional<std::string> ReadText(const LocatedJson& value, const std::string& field, bool non_empty) {
    if (value.Type != Kind::String) {
      Report(value.Line, field + " must be a string, not " + DescribeKind(value));
      return std::nullopt;
    }
    if (value.Text.find('\0') != std::string::npos) {
      Report(value.Line, field + " holds a NUL character");
      return std::nullopt;
    }
    if (non_empty && value.Text.empty()) {
      Report(value.Line, field + " must not be empty");
      return std::nullopt;
    }
    return value.Text;
  }

  // A name of a record: a string, or null for a null pointer. The outer
  // optional is empty after a mistake.
  std::optional<std::optional<std::string>> ReadRecordName(const LocatedJson& value, const std::string& field) {
    if (value.Type == Kind::Null) return std::optional<std::string>{};
    if (value.Type != Kind::String) {
      Report(value.Line, field + " must be a string or null, not " + DescribeKind(value));
      return std::nullopt;
    }
    const auto text = ReadText(value, field, false);
    if (!text) return std::nullopt;
    return std::optional<std::string>(*text);
  }

  std::optional<std::vector<NetworkRecord>> ReadChildren(const LocatedJson& value,
                                                         const std::optional<std::string>& provider) {
    if (!IsArray(value, "Children must be an array")) return std::nullopt;
    std::vector<NetworkRecord> children;
    for (const LocatedJson& item : value.Items) {
      if (auto child = ReadRecord(item, provider)) children.push_back(std::move(*child));
    }
    return children;
  }

  // One record. `provider` is the provider of the enclosing level, which
  // a record takes over unless it names its own.
  std::optional<NetworkRecord> ReadRecord(const LocatedJson& value, const std::optional<std::string>& provider) {
    if (value.Type == Kind::String) {
      const auto computer = ReadText(value, "a server's computer name", true);
      if (!computer) return std::nullopt;
      NetworkRecord record = ServerRecord(*computer);
      record.Provider = provider;
      record.Origin = Origin(value.Line);
      return record;
    }
    if (value.Type != Kind::Object) {
      Report(value.Line, "a record must be an object or a server's computer name, not " + DescribeKind(value));
      return std::nullopt;
    }
    if (!DistinctNames(value.Members)) return std::nullopt;

    NetworkRecord record;
    record.Provider = provider;
    record.Origin = Origin(value.Line);
    if (!ReadRecordKind(value, record)) return std::nullopt;

    const LocatedJson* children = nullptr;
    for (const auto& [name, field] : value.Members) {
      if (name == "Network" || name == "Workgroup" || name == "Domain" || name == "Server") continue;
      if (name == "Children") {
        children = &field;
      } else if (!ReadRecordField(name, field, record)) {
        return std::nullopt;
      }
    }
    if (children != nullptr) {
      auto records = ReadChildren(*children, record.Provider);
      if (!records) return std::nullopt;
      record.Children = std::move(*records);
    }
    return record;
  }

  bool DistinctNames(const Members& members) {
    std::set<std::string> seen;
    for (const auto& [name, field] : members) {
      if (!seen.insert(name).second) {
        Report(field.Line, "field " + QuotedText(name) + " given twice");
        return false;
      }
    }
    return true;
  }

  // The shorthand that gives a record its kind and its defaults: at most
  // one of Network, Workgroup (or Domain) and Server.
  bool ReadRecordKind(const LocatedJson& value, NetworkRecord& record) {
    const LocatedMember* kind = nullptr;
    for (const auto& member : value.Members) {
      const std::string& name = member.Name;
      if (name != "Network" && name != "Workgroup" && name != "Domain" && name != "Server") continue;
      if (kind != nullptr) {
        Report(member.Value.Line,
               "a record is one of Network, Workgroup, Domain and Server, not both " + kind->Name + " and " + name);
        return false;
      }
      kind = &member;
    }
    if (kind == nullptr) return true;

    const auto& [name, field] = *kind;
    if (name == "Server") {
      const auto computer = ReadText(field, "Server", true);
      if (!computer) return false;
      const NetworkRecord server = ServerRecord(*computer);
      record.DisplayType = server.DisplayType;
      record.Usage = server.Usage;
      record.RemoteName = server.RemoteName;
      return true;
    }
    const auto remote_name = ReadRecordName(field, name);
    if (!remote_name) return false;
    record.RemoteName = *remote_name;
    record.Usage = RESOURCEUSAGE_CONTAINER;
    if (name == "Network") {
      record.DisplayType = RESOURCEDISPLAYTYPE_NETWORK;
      record.Provider = *remote_name;
    } else {
      record.DisplayType = RESOURCEDISPLAYTYPE_DOMAIN;
    }
    return true;
  }

  bool ReadRecordField(const std::string& name, const LocatedJson& value, NetworkRecord& record) {
    if (IsLevelFault(name)) return ReadLevelFault(name, value, record);
    if (name == "Scope") return Store(ReadNamedNumber(value, kScopes, "scope"), record.Scope);
    if (name == "Type") return Store(ReadNamedNumber(value, kTypes, "type"), record.Type);
    if (name == "DisplayType") return Store(ReadNamedNumber(value, kDisplayTypes, "display type"), record.DisplayType);
    if (name == "Usage") return Store(ReadUsage(value), record.Usage);
    std::optional<std::string>* text = nullptr;
    if (name == "LocalName") text = &record.LocalName;
    if (name == "RemoteName") text = &record.RemoteName;
    if (name == "Comment") text = &record.Comment;
    if (name == "Provider") text = &record.Provider;
    if (text == nullptr) {
      Report(value.Line, "unknown field " + QuotedText(name) + " in a record");
      return false;
    }
    return Store(ReadRecordName(value, name), *text);
  }

  std::vector<Computer> ReadComputers(const LocatedJson& value) {
    std::vector<Computer> computers;
    if (value.Type != Kind::Object) {
      Report(value.Line,
             "Computers must be an object that maps computer names to their faults, not " + DescribeKind(value));
      return computers;
    }
    std::unordered_set<std::string> known;
    for (const auto& [name, entry] : value.Members) {
      auto computer = ReadComputer(name, entry);
      if (!computer) continue;
      if (!known.insert(ascii_case::FoldedText(computer->Name)).second) {
        Report(entry.Line, "computer " + QuotedText(computer->Name) + " given twice; the second is left out");
        continue;
      }
      computers.push_back(std::move(*computer));
    }
    return computers;
  }

  std::optional<Computer> ReadComputer(const std::string& name, const LocatedJson& value) {
    Computer computer;
    computer.Name = BareComputerName(name);
    if (computer.Name.empty() || computer.Name.find('\0') != std::string::npos) {
      Report(value.Line, "a computer needs a name without NUL characters, not " + QuotedText(name));
      return std::nullopt;
    }
    if (value.Type == Kind::Null) return computer;
    if (value.Type != Kind::Object) {
      Report(value.Line,
             "computer " + QuotedText(name) + " must be described by an object or null, not " + DescribeKind(value));
      return std::nullopt;
    }
    if (!DistinctNames(value.Members)) return std::nullopt;
    for (const auto& [field, item] : value.Members) {
      if (field == "ConnectError") {
        if (!Store(ReadErrorCode(item, field), computer.ConnectError)) return std::nullopt;
      } else if (field == "DeniedKeys") {
        if (!ReadDeniedKeys(item, computer)) return std::nullopt;
      } else if (field == "FailingValues") {
        if (!ReadFailingValues(item, computer)) return std::nullopt;
      } else if (field == "CodePage") {
        auto code_page = ReadCodePage(item);
        if (!code_page) return std::nullopt;
        computer.CodePage = std::move(*code_page);
      } else {
        Report(item.Line, "unknown field " + QuotedText(field) + " of computer " + QuotedText(name));
        return std::nullopt;
      }
    }
    return computer;
  }

  // The code page of REGEDIT4 exports: a Windows code page number, or an
  // encoding by its iconv name; the iconv name either way.
  std::optional<std::string> ReadCodePage(const LocatedJson& value) {
    if (value.Type == Kind::Number && value.Whole && *value.Whole >= 1 && *value.Whole <= 65535) {
      return *value.Whole == 65001 ? std::string("UTF-8") : "CP" + std::to_string(*value.Whole);
    }
    if (value.Type == Kind::String && !value.Text.empty() &&
        std::all_of(value.Text.begin(), value.Text.end(), [](char c) { return c > ' ' && c < 0x7F; })) {
      return value.Text;
    }
    Report(value.Line, "CodePage must be a Windows code page number from 1 to 65535 or an encoding name, not " +
                           DescribeKind(value));
    return std::nullopt;
  }

  bool ReadDeniedKeys(const LocatedJson& value, Computer& computer) {
    if (!IsArray(value, "DeniedKeys must be an array of key paths")) return false;
    for (const LocatedJson& item : value.Items) {
      const auto path = ReadText(item, "a denied key", false);
      if (!path) return false;
      computer.DeniedKeys.push_back(KeyBelowLocalMachine(*path));
    }
    return true;
  }

  // A failing value that is wrong is left out alone; the computer keeps
  // the rest.
  bool ReadFailingValues(const LocatedJson& value, Computer& computer) {
    if (!IsArray(value, "FailingValues must be an array")) return false;
    for (const LocatedJson& item : value.Items) {
      if (auto failing = ReadFailingValue(item)) computer.FailingValues.push_back(std::move(*failing));
    }
    return true;
  }

  std::optional<FailingValue> ReadFailingValue(const LocatedJson& value) {
    if (value.Type != Kind::Object) {
      Report(value.Line, "a failing value must be an object with Key, Value and Error, not " + DescribeKind(value));
      return std::nullopt;
    }
    if (!DistinctNames(value.Members)) return std::nullopt;
    FailingValue failing;
    bool has_key = false;
    bool has_value = false;
    for (const auto& [field, item] : value.Members) {
      if (field == "Key") {
        const auto path = ReadText(item, field, false);
        if (!path) return std::nullopt;
        failing.KeyPath = KeyBelowLocalMachine(*path);
        has_key = true;
      } else if (field == "Value") {
        if (!Store(ReadText(item, field, false), failing.ValueName)) return std::nullopt;
        has_value = true;
      } else if (field == "Error") {
        if (!Store(ReadErrorCode(item, field), failing.Error)) return std::nullopt;
      } else {
        Report(item.Line, "unknown field " + QuotedText(field) + " of a failing value");
        return std::nullopt;
      }
    }
    if (!has_key || !has_value) {
      Report(value.Line, "a failing value needs both Key and Value");
      return std::nullopt;
    }
    return failing;
  }

  const std::string& file_name_;
  std::ostream& messages_;
};

}  // namespace

std::optional<LanDescription> ParseLanDescription(std::string_view text, const std::string& file_name,
                                                  std::ostream& messages) {
  return DescriptionReader(file_name, messages).Read(text);
}

}  // namespace lan
