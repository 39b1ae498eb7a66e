#include "platform/lan/lan_description.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/lan/located_json.h"
#include "platform/lan/visible_text.h"

namespace lan {
namespace {

using Kind = JsonValue::Kind;

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

// The kind of a record, given by the shorthand field that names it.
enum class RecordKind { kNone, kNetwork, kWorkgroup, kDomain, kServer };

constexpr const char* kRecordKindFields[] = {"", "Network", "Workgroup", "Domain", "Server"};

// The fields of a record that override what its kind gives it.
struct RecordFields {
  RecordKind Kind = RecordKind::kNone;
  std::optional<std::string> KindName;  // the shorthand's name (null allowed but for Server)
  std::optional<DWORD> DisplayType;
  std::optional<DWORD> Usage;
  std::optional<std::optional<std::string>> RemoteName;
  std::optional<std::optional<std::string>> Provider;
};

// The fields that each kind of object knows, for telling a field given
// twice: one bit each, in the order of the list.
constexpr const char* kTopFields[] = {
    "Children", "Computers", "CodePage", "OpenError", "EnumError", "EnumErrorAfterBatches", "MaxRecordsPerBatch"};
constexpr const char* kRecordFields[] = {"Network",
                                         "Workgroup",
                                         "Domain",
                                         "Server",
                                         "Children",
                                         "OpenError",
                                         "EnumError",
                                         "EnumErrorAfterBatches",
                                         "MaxRecordsPerBatch",
                                         "Scope",
                                         "Type",
                                         "DisplayType",
                                         "Usage",
                                         "LocalName",
                                         "RemoteName",
                                         "Comment",
                                         "Provider"};
constexpr const char* kComputerFields[] = {"ConnectError", "DeniedKeys", "FailingValues", "CodePage"};
constexpr const char* kFailingValueFields[] = {"Key", "Value", "Error"};

template <std::size_t N>
std::optional<unsigned> FieldBit(const char* const (&fields)[N], std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (name == fields[i]) return 1u << i;
  }
  return std::nullopt;
}

// The provider of a record that takes over the provider of its level. It
// is known only once the enclosing record has been read whole (its
// Provider may follow its Children), and is put in place then; no
// provider of a description holds a NUL character, so a lone NUL marks it
// until then.
const std::string& InheritedProvider() {
  static const std::string marker(1, '\0');
  return marker;
}

bool Inherits(const NetworkRecord& record) { return record.Provider && *record.Provider == InheritedProvider(); }

// Gives the records below `level` that take over its provider that
// provider, and so on down.
void PassProviderDown(NetworkRecord& level, const std::optional<std::string>& provider) {
  for (NetworkRecord& child : level.Children) {
    if (!Inherits(child)) continue;
    child.Provider = provider;
    PassProviderDown(child, provider);
  }
}

// Reads the description as the JSON reader hands it out, keeping only the
// model. Each array or object that is being read has a frame; mistakes
// fail the element that holds them (a record, a computer, a failing
// value), whose further contents are then passed over.
class DescriptionReader final : public JsonReader {
 public:
  DescriptionReader(const std::string& file_name, std::ostream& diagnostics)
      : file_name_(VisibleText(file_name)), diagnostics_(diagnostics) {}

  std::optional<LanDescription> Read(std::string_view text) {
    if (const auto error = ReadJson(text, *this)) {
      Report(error->Line, error->Message + "; the directory's plain layout is used instead");
      return std::nullopt;
    }
    if (!is_object_) return std::nullopt;
    if (too_many_line_) {
      Report(*too_many_line_, "the description holds more than " + std::to_string(kMaxDescribedItems) +
                                  " records, computers, denied keys and failing values; the directory's plain "
                                  "layout is used instead");
      return std::nullopt;
    }
    PassProviderDown(description_.Top, std::string(kWindowsNetworkProvider));
    return std::move(description_);
  }

  void Member(std::string& name) override {
    if (!frames_.empty()) frames_.back().Member = std::move(name);
  }

  void Value(JsonValue& value) override {
    if (frames_.empty()) {
      ReadRoot(value);
    } else if (frames_.back().Failed) {
      PassOver(value);
    } else {
      switch (frames_.back().Kind) {
        case FrameKind::kTop:
          ReadTopField(value);
          break;
        case FrameKind::kChildren:
          ReadChild(value);
          break;
        case FrameKind::kRecord:
          ReadRecordField(value);
          break;
        case FrameKind::kUsage:
          ReadUsageItem(value);
          break;
        case FrameKind::kComputers:
          ReadComputerEntry(value);
          break;
        case FrameKind::kComputer:
          ReadComputerField(value);
          break;
        case FrameKind::kDeniedKeys:
          ReadDeniedKey(value);
          break;
        case FrameKind::kFailingValues:
          ReadFailingValueEntry(value);
          break;
        case FrameKind::kFailingValue:
          ReadFailingValueField(value);
          break;
        case FrameKind::kPassedOver:
          PassOver(value);
          break;
      }
    }
  }

  void End() override {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (frame.Failed) return;
    switch (frame.Kind) {
      case FrameKind::kRecord:
        AddRecord(std::move(frame));
        break;
      case FrameKind::kUsage:
        frames_.back().Fields.Usage = frame.Usage;
        break;
      case FrameKind::kComputer:
        AddComputer(std::move(frame.Entry), frame.Line);
        break;
      case FrameKind::kFailingValue:
        AddFailingValue(std::move(frame));
        break;
      default:
        break;
    }
  }

 private:
  enum class FrameKind {
    kTop,
    kChildren,
    kRecord,
    kUsage,
    kComputers,
    kComputer,
    kDeniedKeys,
    kFailingValues,
    kFailingValue,
    kPassedOver,
  };

  struct Frame {
    FrameKind Kind = FrameKind::kPassedOver;
    int Line = 1;  // of the opening bracket
    bool Failed = false;
    std::string Member;  // the name of the member being read
    unsigned Seen = 0;   // the known fields given so far, one bit each
    // A record, or a computer, or a failing value, or the usage bits of
    // a list, as far as they have been read.
    NetworkRecord Record;
    RecordFields Fields;
    Computer Entry;
    std::string EntryName;  // the computer's name as the description gives it
    FailingValue Failing;
    DWORD Usage = 0;
  };

  void Report(int line, const std::string& what) {
    diagnostics_ << "kestrova: " << file_name_ << ':' << line << ": " << what << '\n';
  }

  std::string Origin(int line) const { return file_name_ + ":" + std::to_string(line); }

  void Open(FrameKind kind, int line) {
    Frame frame;
    frame.Kind = kind;
    frame.Line = line;
    frames_.push_back(std::move(frame));
  }

  // An array or an object starts a frame of its own, read or not.
  static bool Opens(const JsonValue& value) { return value.Type == Kind::Array || value.Type == Kind::Object; }
  void PassOver(const JsonValue& value) {
    if (Opens(value)) Open(FrameKind::kPassedOver, value.Line);
  }

  // Fails the element of frame `element`: it is left out, and so is what
  // is still to come of it. `what`, when given, is the mistake to report.
  void Fail(std::size_t element, int line, const std::string& what) {
    if (!what.empty()) Report(line, what);
    for (std::size_t i = element; i < frames_.size(); ++i) frames_[i].Failed = true;
  }
  void FailHere(const JsonValue& value, const std::string& what = {}) {
    Fail(frames_.size() - 1, value.Line, what);
    PassOver(value);
  }

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
  // message) when the value is wrong.
  bool ReadLevelFault(const std::string& name, const JsonValue& value, NetworkRecord& level) {
    if (name == "OpenError") return Store(ReadErrorCode(value, name), level.OpenError);
    if (name == "EnumError") return Store(ReadErrorCode(value, name), level.EnumError);
    if (name == "EnumErrorAfterBatches") return Store(ReadWhole(value, name, 0, INT_MAX), level.EnumErrorAfterBatches);
    return Store(ReadWhole(value, name, 1, 0xFFFFFFFF), level.MaxRecordsPerBatch);
  }

  std::optional<std::uint64_t> ReadWhole(const JsonValue& value, const std::string& field, std::uint64_t least,
                                         std::uint64_t most) {
    if (value.Type == Kind::Number && value.Whole && *value.Whole >= least && *value.Whole <= most) {
      return *value.Whole;
    }
    Report(value.Line, field + " must be a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
                           ", not " + DescribeKind(value));
    return std::nullopt;
  }

  std::optional<DWORD> ReadErrorCode(const JsonValue& value, const std::string& field) {
    const auto code = ReadWhole(value, field, 1, 0xFFFFFFFF);
    if (!code) return std::nullopt;
    return static_cast<DWORD>(*code);
  }

  // A DWORD field given as a number or by one of its names, in any case.
  template <std::size_t N>
  std::optional<DWORD> ReadNamedNumber(const JsonValue& value, const NamedValue (&names)[N], const char* what) {
    if (value.Type == Kind::Number && value.Whole && *value.Whole <= 0xFFFFFFFF) {
      return static_cast<DWORD>(*value.Whole);
    }
    if (value.Type == Kind::String) {
      for (const NamedValue& named : names) {
        if (ascii_case::Same(value.Text, named.Name)) return named.Value;
      }
      Report(value.Line, std::string("unknown ") + what + " " + QuotedVisibleText(value.Text));
      return std::nullopt;
    }
    Report(value.Line,
           std::string("a ") + what + " must be a name or a number from 0 to 4294967295, not " + DescribeKind(value));
    return std::nullopt;
  }

  // A text that must be given, and must not be empty when `non_empty`.
  std::optional<std::string> ReadText(JsonValue& value, const std::string& field, bool non_empty) {
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
    return std::move(value.Text);
  }

  // A name of a record: a string, or null for a null pointer. The outer
  // optional is empty after a mistake.
  std::optional<std::optional<std::string>> ReadRecordName(JsonValue& value, const std::string& field) {
    if (value.Type == Kind::Null) return std::optional<std::string>{};
    if (value.Type != Kind::String) {
      Report(value.Line, field + " must be a string or null, not " + DescribeKind(value));
      return std::nullopt;
    }
    auto text = ReadText(value, field, false);
    if (!text) return std::nullopt;
    return std::optional<std::string>(std::move(*text));
  }

  // The code page of REGEDIT4 exports: a Windows code page number, or an
  // encoding by its iconv name; the iconv name either way.
  std::optional<std::string> ReadCodePage(const JsonValue& value) {
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

  // Marks a known field of the frame as given; false (after a message)
  // when it was given before.
  template <std::size_t N>
  bool FirstTime(const char* const (&fields)[N], const std::string& name, const JsonValue& value,
                 const std::string& twice) {
    const auto bit = FieldBit(fields, name);
    if (!bit) return true;
    Frame& frame = frames_.back();
    if ((frame.Seen & *bit) == 0) {
      frame.Seen |= *bit;
      return true;
    }
    Report(value.Line, "field " + QuotedVisibleText(name) + " given twice" + twice);
    return false;
  }

  void ReadRoot(const JsonValue& value) {
    if (value.Type != Kind::Object) {
      Report(value.Line, "the description must be a JSON object, not " + DescribeKind(value) +
                             "; the directory's plain layout is used instead");
      PassOver(value);
      return;
    }
    is_object_ = true;
    description_.Top.Origin = Origin(value.Line);
    Open(FrameKind::kTop, value.Line);
  }

  // At the top only the wrong field itself is left out.
  void ReadTopField(JsonValue& value) {
    const std::string name = frames_.back().Member;
    if (!FirstTime(kTopFields, name, value, "; the second is left out")) {
      // passed over below
    } else if (name == "Children") {
      if (value.Type == Kind::Array) {
        description_.HasHierarchy = true;
        OpenChildren(value, description_.Top.Children);
        return;
      }
      Report(value.Line, "Children must be an array, not " + DescribeKind(value));
    } else if (name == "Computers") {
      if (value.Type == Kind::Object) {
        description_.Computers.reserve(std::min<std::size_t>(value.Items, RoomLeft()));
        Open(FrameKind::kComputers, value.Line);
        return;
      }
      Report(value.Line,
             "Computers must be an object that maps computer names to their faults, not " + DescribeKind(value));
    } else if (name == "CodePage") {
      if (auto code_page = ReadCodePage(value)) description_.CodePage = std::move(*code_page);
    } else if (IsLevelFault(name)) {
      ReadLevelFault(name, value, description_.Top);
    } else {
      Report(value.Line, "unknown field " + QuotedVisibleText(name) + " at the top");
    }
    PassOver(value);
  }

  // Room is made for the records at once, so that a long list is not
  // copied as it grows; no more than may be kept.
  void OpenChildren(const JsonValue& value, std::vector<NetworkRecord>& level) {
    level.reserve(std::min<std::size_t>(value.Items, RoomLeft()));
    Open(FrameKind::kChildren, value.Line);
  }

  // Counts one more element to keep; false, once too many were counted,
  // when it must not be kept.
  bool Count(int line) {
    if (++items_ <= kMaxDescribedItems) return true;
    if (!too_many_line_) too_many_line_ = line;
    return false;
  }
  std::size_t RoomLeft() const {
    return static_cast<std::size_t>(items_ < kMaxDescribedItems ? kMaxDescribedItems - items_ : 0);
  }

  // The records below the top or below a record; the frame below the
  // Children frame holds them.
  std::vector<NetworkRecord>& LevelBelowChildren() {
    Frame& owner = frames_[frames_.size() - 2];
    return owner.Kind == FrameKind::kTop ? description_.Top.Children : owner.Record.Children;
  }

  void ReadChild(JsonValue& value) {
    if (value.Type == Kind::String) {
      const auto computer = ReadText(value, "a server's computer name", true);
      if (!computer) return;
      NetworkRecord record = ServerRecord(*computer);
      record.Provider = InheritedProvider();
      record.Origin = Origin(value.Line);
      Keep(std::move(record), value.Line, LevelBelowChildren());
      return;
    }
    if (value.Type == Kind::Object) {
      Open(FrameKind::kRecord, value.Line);
      frames_.back().Record.Origin = Origin(value.Line);
      return;
    }
    Report(value.Line, "a record must be an object or a server's computer name, not " + DescribeKind(value));
    PassOver(value);
  }

  void Keep(NetworkRecord record, int line, std::vector<NetworkRecord>& level) {
    if (Count(line)) level.push_back(std::move(record));
  }

  void ReadRecordField(JsonValue& value) {
    Frame& frame = frames_.back();
    const std::string name = frame.Member;
    if (!FieldBit(kRecordFields, name))
      return FailHere(value, "unknown field " + QuotedVisibleText(name) + " in a record");
    if (!FirstTime(kRecordFields, name, value, "")) return FailHere(value);
    NetworkRecord& record = frame.Record;
    RecordFields& fields = frame.Fields;
    bool read = true;
    if (name == "Network" || name == "Workgroup" || name == "Domain" || name == "Server") {
      read = ReadRecordKind(name, value, fields);
    } else if (name == "Children") {
      if (value.Type == Kind::Array) return OpenChildren(value, record.Children);
      return FailHere(value, "Children must be an array, not " + DescribeKind(value));
    } else if (name == "Usage" && value.Type == Kind::Array) {
      return Open(FrameKind::kUsage, value.Line);
    } else if (IsLevelFault(name)) {
      read = ReadLevelFault(name, value, record);
    } else if (name == "Scope") {
      read = Store(ReadNamedNumber(value, kScopes, "scope"), record.Scope);
    } else if (name == "Type") {
      read = Store(ReadNamedNumber(value, kTypes, "type"), record.Type);
    } else if (name == "DisplayType") {
      read = Store(ReadNamedNumber(value, kDisplayTypes, "display type"), fields.DisplayType);
    } else if (name == "Usage") {
      read = Store(ReadNamedNumber(value, kUsages, "usage"), fields.Usage);
    } else if (name == "LocalName") {
      read = Store(ReadRecordName(value, name), record.LocalName);
    } else if (name == "Comment") {
      read = Store(ReadRecordName(value, name), record.Comment);
    } else if (name == "RemoteName") {
      read = Store(ReadRecordName(value, name), fields.RemoteName);
    } else {
      read = Store(ReadRecordName(value, name), fields.Provider);
    }
    if (!read) FailHere(value);
  }

  // The shorthand that gives a record its kind and its defaults: at most
  // one of Network, Workgroup (or Domain) and Server.
  bool ReadRecordKind(const std::string& name, JsonValue& value, RecordFields& fields) {
    if (fields.Kind != RecordKind::kNone) {
      Report(value.Line, std::string("a record is one of Network, Workgroup, Domain and Server, not both ") +
                             kRecordKindFields[static_cast<int>(fields.Kind)] + " and " + name);
      return false;
    }
    if (name == "Server") {
      fields.Kind = RecordKind::kServer;
      return Store(ReadText(value, name, true), fields.KindName);
    }
    fields.Kind = name == "Network"  ? RecordKind::kNetwork
                  : name == "Domain" ? RecordKind::kDomain
                                     : RecordKind::kWorkgroup;
    return Store(ReadRecordName(value, name), fields.KindName);
  }

  // A usage may be a list of names and numbers, which add up.
  void ReadUsageItem(const JsonValue& value) {
    if (const auto bits = ReadNamedNumber(value, kUsages, "usage")) {
      frames_.back().Usage |= *bits;
      return;
    }
    // The record that the list belongs to is left out.
    Fail(frames_.size() - 2, value.Line, {});
    PassOver(value);
  }

  // A record read whole: its kind's defaults, then its own fields.
  void AddRecord(Frame frame) {
    NetworkRecord& record = frame.Record;
    const RecordFields& fields = frame.Fields;
    record.Provider = InheritedProvider();
    switch (fields.Kind) {
      case RecordKind::kNone:
        break;
      case RecordKind::kServer: {
        const NetworkRecord server = ServerRecord(*fields.KindName);
        record.DisplayType = server.DisplayType;
        record.Usage = server.Usage;
        record.RemoteName = server.RemoteName;
        break;
      }
      case RecordKind::kNetwork:
        record.Provider = fields.KindName;
        [[fallthrough]];
      case RecordKind::kWorkgroup:
      case RecordKind::kDomain:
        record.RemoteName = fields.KindName;
        record.Usage = RESOURCEUSAGE_CONTAINER;
        record.DisplayType =
            fields.Kind == RecordKind::kNetwork ? RESOURCEDISPLAYTYPE_NETWORK : RESOURCEDISPLAYTYPE_DOMAIN;
        break;
    }
    if (fields.DisplayType) record.DisplayType = *fields.DisplayType;
    if (fields.Usage) record.Usage = *fields.Usage;
    if (fields.RemoteName) record.RemoteName = *fields.RemoteName;
    if (fields.Provider) record.Provider = *fields.Provider;
    if (!Inherits(record)) PassProviderDown(record, record.Provider);
    Keep(std::move(record), frame.Line, LevelBelowChildren());
  }

  void ReadComputerEntry(JsonValue& value) {
    const std::string& name = frames_.back().Member;
    Computer computer;
    computer.Name = BareComputerName(name);
    if (computer.Name.empty() || computer.Name.find('\0') != std::string::npos) {
      Report(value.Line, "a computer needs a name without NUL characters, not " + QuotedVisibleText(name));
      return PassOver(value);
    }
    if (value.Type == Kind::Null) return AddComputer(std::move(computer), value.Line);
    if (value.Type != Kind::Object) {
      Report(value.Line, "computer " + QuotedVisibleText(name) + " must be described by an object or null, not " +
                             DescribeKind(value));
      return PassOver(value);
    }
    std::string given_name = name;
    Open(FrameKind::kComputer, value.Line);
    frames_.back().Entry = std::move(computer);
    frames_.back().EntryName = std::move(given_name);
  }

  void ReadComputerField(JsonValue& value) {
    Frame& frame = frames_.back();
    const std::string name = frame.Member;
    if (!FieldBit(kComputerFields, name)) {
      return FailHere(
          value, "unknown field " + QuotedVisibleText(name) + " of computer " + QuotedVisibleText(frame.EntryName));
    }
    if (!FirstTime(kComputerFields, name, value, "")) return FailHere(value);
    Computer& computer = frame.Entry;
    bool read = true;
    if (name == "ConnectError") {
      read = Store(ReadErrorCode(value, name), computer.ConnectError);
    } else if (name == "DeniedKeys") {
      if (value.Type == Kind::Array) return Open(FrameKind::kDeniedKeys, value.Line);
      return FailHere(value, "DeniedKeys must be an array of key paths, not " + DescribeKind(value));
    } else if (name == "FailingValues") {
      if (value.Type == Kind::Array) return Open(FrameKind::kFailingValues, value.Line);
      return FailHere(value, "FailingValues must be an array, not " + DescribeKind(value));
    } else {
      read = Store(ReadCodePage(value), computer.CodePage);
    }
    if (!read) FailHere(value);
  }

  void ReadDeniedKey(JsonValue& value) {
    if (auto path = ReadText(value, "a denied key", false)) {
      if (Count(value.Line)) {
        frames_[frames_.size() - 2].Entry.DeniedKeys.push_back(KeyBelowLocalMachine(std::move(*path)));
      }
      return;
    }
    // The computer that the list belongs to is left out.
    Fail(frames_.size() - 2, value.Line, {});
    PassOver(value);
  }

  void AddComputer(Computer computer, int line) {
    if (!computer_names_.insert(ascii_case::FoldedText(computer.Name)).second) {
      Report(line, "computer " + QuotedVisibleText(computer.Name) + " given twice; the second is left out");
      return;
    }
    if (Count(line)) description_.Computers.push_back(std::move(computer));
  }

  // A failing value that is wrong is left out alone; the computer keeps
  // the rest.
  void ReadFailingValueEntry(const JsonValue& value) {
    if (value.Type == Kind::Object) return Open(FrameKind::kFailingValue, value.Line);
    Report(value.Line, "a failing value must be an object with Key, Value and Error, not " + DescribeKind(value));
    PassOver(value);
  }

  void ReadFailingValueField(JsonValue& value) {
    Frame& frame = frames_.back();
    const std::string name = frame.Member;
    if (!FieldBit(kFailingValueFields, name)) {
      return FailHere(value, "unknown field " + QuotedVisibleText(name) + " of a failing value");
    }
    if (!FirstTime(kFailingValueFields, name, value, "")) return FailHere(value);
    bool read = true;
    if (name == "Key") {
      auto path = ReadText(value, name, false);
      if (path) frame.Failing.KeyPath = KeyBelowLocalMachine(std::move(*path));
      read = path.has_value();
    } else if (name == "Value") {
      read = Store(ReadText(value, name, false), frame.Failing.ValueName);
    } else {
      read = Store(ReadErrorCode(value, name), frame.Failing.Error);
    }
    if (!read) FailHere(value);
  }

  void AddFailingValue(Frame frame) {
    const unsigned key_and_value = *FieldBit(kFailingValueFields, "Key") | *FieldBit(kFailingValueFields, "Value");
    if ((frame.Seen & key_and_value) != key_and_value) {
      Report(frame.Line, "a failing value needs both Key and Value");
      return;
    }
    // The frames below: the list of failing values, then its computer.
    if (Count(frame.Line)) frames_[frames_.size() - 2].Entry.FailingValues.push_back(std::move(frame.Failing));
  }

  const std::string file_name_;  // as messages show it
  std::ostream& diagnostics_;
  std::vector<Frame> frames_;
  LanDescription description_;
  bool is_object_ = false;
  // The elements kept so far, and where the first that was too many stands.
  std::uint64_t items_ = 0;
  std::optional<int> too_many_line_;
  std::unordered_set<std::string> computer_names_;  // folded
};

}  // namespace

std::optional<LanDescription> ParseLanDescription(std::string_view text, const std::string& file_name,
                                                  std::ostream& diagnostics) {
  return DescriptionReader(file_name, diagnostics).Read(text);
}

}  // namespace lan
