#include "platform/export/export_registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/export/code_page_decoder.h"
#include "platform/export/export_file_report.h"
#include "platform/export/export_key_tree.h"
#include "platform/export/file_contents.h"
#include "platform/export/name_hash.h"
#include "platform/export/reg_file.h"
#include "platform/lan/name_folding.h"
#include "platform/lan/visible_text.h"
#include "platform/value_types.h"

namespace regfile {
namespace {

using KeyIndex = ExportKeyTree::KeyIndex;

constexpr const char* kLongNameMessage =
    "a key name longer than 255 characters; the line and the values below it are skipped";

FILETIME FileTimeOf(timespec time) {
  constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
  const std::uint64_t steps = (static_cast<std::uint64_t>(time.tv_sec) + kSecondsFrom1601To1970) * 10000000ULL +
                              static_cast<std::uint64_t>(time.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
}

// What a value line sets.
struct ValueLine {
  DataForm Form = DataForm::kDelete;
  DWORD Type = REG_NONE;
  DWORD Dword = 0;
  Span Data;
  std::size_t HexByteCount = 0;
  bool DataHasBackslash = false;
};

ValueLine ValueOf(const ParsedLine& line) {
  return ValueLine{line.Form, line.Type, line.Dword, line.Data, line.HexByteCount, line.DataHasBackslash};
}

// The size that a value reports: 0xFFFFFFFF for one that 32 bits cannot
// hold.
DWORD ReportedSize(std::uint64_t size) { return size > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<DWORD>(size); }

bool SameUnits(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 2) == 0;
}

void PutUnit(char*& out, char16_t unit) {
  *out++ = static_cast<char>(unit & 0xFF);
  *out++ = static_cast<char>(unit >> 8);
}

class ExportRegistry final : public lan::RemoteRegistry {
  // Calls `function` with the text as it is read: bytes or UTF-16 units.
  template <class Function>
  auto WithText(Function&& function) -> decltype(function(std::declval<const ByteText&>())) {
    if (header_.WideText) return function(wide_text_);
    return function(byte_text_);
  }

 public:
  ExportRegistry(const std::string& file_name, std::ostream& diagnostics) : report_(file_name, diagnostics) {}

  // The key tree counts keys, sections and name units in 32 bits, and the
  // skipped line report numbers lines with an int: any file read fits.
  static_assert(FileContents::kLargestFile < (std::uint64_t{1} << 31));

  DWORD Load(const std::filesystem::path& path, HKEY root, const std::string& encoding, const ExportFaults& faults) {
    root_ = root == HKEY_LOCAL_MACHINE ? Root::kLocalMachine : Root::kUsers;
    if (!path.empty() && !Read(path, encoding)) return ERROR_REGISTRY_CORRUPT;
    if (header_.WideText) {
      Build(wide_text_);
    } else {
      Build(byte_text_);
    }
    written_ = FileTimeOf(file_.Modified());
    if (root_ == Root::kLocalMachine) ApplyFaults(faults);
    return NO_ERROR;
  }

  DWORD OpenKey(KeyId parent, std::u16string_view path, REGSAM access, KeyId& key) override {
    KeyIndex start = 0;
    if (!Resolve(parent, start)) return ERROR_INVALID_HANDLE;
    const std::optional<KeyIndex> found = FindKey(start, path);
    if (!found) return ERROR_FILE_NOT_FOUND;
    const REGSAM rights = access & ~(MAXIMUM_ALLOWED | KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    if (tree_.Denied(*found) && (rights & ~KEY_READ) != 0) return ERROR_ACCESS_DENIED;
    if (free_ids_.empty()) {
      open_.push_back(*found);
      key = static_cast<KeyId>(open_.size());
    } else {
      key = free_ids_.back();
      free_ids_.pop_back();
      open_[key - 1] = *found;
    }
    return NO_ERROR;
  }

  DWORD EnumKey(KeyId key, DWORD index, std::u16string& name, FILETIME& last_written) override {
    KeyIndex node = 0;
    if (!Resolve(key, node)) return ERROR_INVALID_HANDLE;
    if (index >= tree_.SubkeyCount(node)) return ERROR_NO_MORE_ITEMS;
    name.assign(tree_.Name(tree_.Subkey(node, index)));
    last_written = written_;
    return NO_ERROR;
  }

  DWORD QueryValue(KeyId key, std::u16string_view name, bool fetch_data, DWORD& type, DWORD& size,
                   std::string& data) override {
    KeyIndex node = 0;
    if (!Resolve(key, node)) return ERROR_INVALID_HANDLE;
    // The inventory asks for the same value more than once in a row.
    if (!last_.Valid || last_.Key != node || !SameUnits(last_.Name, name)) {
      last_.Valid = false;
      // The same name is asked for of one key after the other.
      if (!SameUnits(last_.Name, name)) lan::FoldNameInto(name, folded_query_);
      last_.Found = WithText([&](const auto& text) { return FindValue(text, node, last_.Value); });
      if (last_.Found) last_.Size = WithText([&](const auto& text) { return SizeOf(text, last_.Value); });
      last_.Key = node;
      last_.Name.assign(name);
      last_.Valid = true;
    }
    if (!last_.Found) return ERROR_FILE_NOT_FOUND;
    if (fetch_data) {
      // folded_query_ holds the name asked for.
      if (const Failing* failing = FailingValue(node)) return failing->Error;
      // The one rule of every LAN source (lan_source.h): nothing is sized
      // from a value larger than that.
      if (last_.Size > lan::kMaxValueData) return ERROR_NOT_ENOUGH_MEMORY;
      data.resize(static_cast<std::size_t>(last_.Size));
      WithText([&](const auto& text) { WriteData(text, last_.Value, data.data()); });
    }
    type = last_.Value.Type;
    size = ReportedSize(last_.Size);
    return NO_ERROR;
  }

  DWORD QueryKeyFacts(KeyId key, lan::KeyFacts& facts) override {
    KeyIndex node = 0;
    if (!Resolve(key, node)) return ERROR_INVALID_HANDLE;
    lan::KeyFacts result;
    result.SubkeyCount = tree_.SubkeyCount(node);
    for (std::uint32_t i = 0; i < result.SubkeyCount; ++i) {
      result.LongestSubkeyName =
          std::max(result.LongestSubkeyName, static_cast<DWORD>(tree_.Name(tree_.Subkey(node, i)).size()));
    }
    WithText([&](const auto& text) { DescribeValues(text, node, result); });
    result.LastWritten = written_;
    facts = result;
    return NO_ERROR;
  }

  DWORD CloseKey(KeyId key) override {
    KeyIndex node = 0;
    if (key == kRootKey || !Resolve(key, node)) return ERROR_INVALID_HANDLE;
    open_[key - 1] = ExportKeyTree::kNone;
    free_ids_.push_back(key);
    return NO_ERROR;
  }

 private:
  struct Failing {
    KeyIndex Key = 0;
    std::u16string FoldedName;
    DWORD Error = 0;
  };

  // The key above the last name of the latest path opened.
  struct KeyAbove {
    bool Valid = false;
    KeyIndex Start = 0;
    std::u16string Path;
    KeyIndex Key = 0;
    std::uint32_t NextSubkey = 0;  // the index below Key after the latest found
  };

  // The answer to the latest value query.
  struct Answer {
    bool Valid = false;
    KeyIndex Key = 0;
    std::u16string Name;
    bool Found = false;
    ValueLine Value;
    std::uint64_t Size = 0;  // in bytes, as stored
  };

  // The key at `path` below `start`. The inventory opens each subkey of
  // one key by its whole path from the root: the key above the last name
  // is kept from the previous call.
  std::optional<KeyIndex> FindKey(KeyIndex start, std::u16string_view path) {
    std::size_t last_separator = path.size();
    while (last_separator > 0 && path[last_separator - 1] != u'\\') --last_separator;
    if (last_separator-- == 0) last_separator = std::u16string_view::npos;
    if (last_separator == std::u16string_view::npos) return tree_.Find(start, path);
    const std::u16string_view above = path.substr(0, last_separator);
    if (!above_.Valid || above_.Start != start || !SameUnits(above_.Path, above)) {
      const std::optional<KeyIndex> key = tree_.Find(start, above);
      if (!key) return std::nullopt;
      above_.Valid = true;
      above_.Start = start;
      above_.Path.assign(above);
      above_.Key = *key;
      above_.NextSubkey = 0;
    }
    // The inventory opens the subkeys of a key one after the other, in the
    // order they are listed: the one after the latest is tried first.
    const std::u16string_view name = path.substr(last_separator + 1);
    if (above_.NextSubkey < tree_.SubkeyCount(above_.Key)) {
      const KeyIndex next = tree_.Subkey(above_.Key, above_.NextSubkey);
      if (SameUnits(tree_.Name(next), name)) {
        ++above_.NextSubkey;
        return next;
      }
    }
    const std::optional<KeyIndex> found = tree_.Find(above_.Key, name);
    if (found && *found != above_.Key) above_.NextSubkey = tree_.SubkeyIndex(*found) + 1;
    return found;
  }

  bool Resolve(KeyId key, KeyIndex& node) const {
    if (key == kRootKey) {
      node = ExportKeyTree::kRoot;
      return true;
    }
    if (key > open_.size() || open_[key - 1] == ExportKeyTree::kNone) return false;
    node = open_[key - 1];
    return true;
  }

  // Reads the file and finds out how to read it; false after a message.
  bool Read(const std::filesystem::path& path, const std::string& encoding) {
    // A file whose first bytes are no export is not read further.
    const auto start_fits = [](std::string_view start) { return ReadExportHeader(start).has_value(); };
    switch (file_.Open(path, start_fits)) {
      case FileContents::Outcome::kRead:
        break;
      case FileContents::Outcome::kCannotOpen:
      case FileContents::Outcome::kCannotRead:
        report_.Say(std::string(": cannot be read: ") + std::strerror(file_.Error()));
        return false;
      case FileContents::Outcome::kNotAFile:
        report_.Say(": not a regular file; it is not read");
        return false;
      case FileContents::Outcome::kTooLarge:
        report_.Say(": larger than " + std::to_string(FileContents::kLargestFile >> 30) +
                    " GiB, the most that is read of an export file; it is not read");
        return false;
      case FileContents::Outcome::kRefused:
        report_.Say(std::string(":1: ") + kNotAnExportMessage);
        return false;
      case FileContents::Outcome::kChanged:
        report_.Say(": changed while it was read; it is not used");
        return false;
    }
    const std::string wanted = encoding.empty() ? CodePageDecoder::kDefaultEncoding : encoding;
    decoder_ = CodePageDecoder::For(wanted);
    if (decoder_ == nullptr) {
      report_.Say(": the code page " + lan::VisibleText(wanted) + " is not known; the file is read in " +
                  CodePageDecoder::kDefaultEncoding);
      decoder_ = CodePageDecoder::For(CodePageDecoder::kDefaultEncoding);
    }
    std::string_view bytes = file_.Bytes();
    std::optional<ExportHeader> header = ReadExportHeader(bytes);
    if (!header) {
      report_.Say(std::string(":1: ") + kNotAnExportMessage);
      return false;
    }
    if (!header->WideText && !decoder_->ParsesAsBytes()) {
      // Bytes below 0x80 may be parts of characters here: the text is
      // decoded before it is parsed.
      transcoded_.assign(1, u'\xFEFF');
      decoder_->Append(bytes, transcoded_);
      bytes = std::string_view(reinterpret_cast<const char*>(transcoded_.data()), transcoded_.size() * 2);
      header = ReadExportHeader(bytes);
      if (!header) return false;
    }
    header_ = *header;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (header_.WideText) {
      wide_text_ = Utf16Text{data + 2, header_.Units};
    } else {
      byte_text_ = ByteText{data, header_.Units};
    }
    return true;
  }

  template <class Text>
  void Report(const Text& text, std::size_t at, std::string_view message) {
    if (report_.OnlyCounting()) {
      report_.Count();
      return;
    }
    report_.Add(lines_.At(text, at), message);
  }

  // The key tree from the key lines; the lines before the first key line
  // are read and reported here, since no key holds them.
  template <class Text>
  void Build(const Text& text) {
    const std::size_t first_key = FindKeyLine(text, header_.BodyStart);
    for (std::size_t pos = header_.BodyStart; pos < first_key; pos = line_.Next) {
      ParseLine(text, pos, first_key, line_);
      if (line_.Kind != LineKind::kNothing) Report(text, pos, kBeforeTheFirstKeyMessage);
    }
    for (std::size_t pos = first_key; pos < text.Size;) {
      ParseLine(text, pos, text.Size, line_);
      const std::size_t section = line_.Next;
      const std::size_t next_key = FindKeyLine(text, section);
      if (line_.Kind == LineKind::kSkippedKey) {
        Report(text, line_.FaultAt, line_.Message);
      } else if (line_.Kind == LineKind::kKey && line_.KeyRoot == root_) {
        units_.clear();
        AppendText(text, line_.KeyPath, false, units_);
        if (line_.Deletion) {
          tree_.Delete(units_);
        } else if (const std::optional<KeyIndex> key = tree_.Create(units_)) {
          tree_.AddSection(*key, section, next_key);
        } else {
          Report(text, pos, kLongNameMessage);
        }
      }
      pos = next_key;
    }
    tree_.Finish();
  }

  void ApplyFaults(const ExportFaults& faults) {
    for (const std::u16string& path : faults.DeniedKeys) {
      if (const auto key = tree_.Find(ExportKeyTree::kRoot, path)) tree_.Deny(*key);
    }
    for (const ExportFaults::FailingValue& value : faults.FailingValues) {
      if (const auto key = tree_.Find(ExportKeyTree::kRoot, value.KeyPath)) {
        Failing failing{*key, {}, value.Error};
        lan::FoldNameInto(value.Name, failing.FoldedName);
        failing_.push_back(std::move(failing));
      }
    }
    // By key and name, so that a value is looked for rather than compared
    // with every one; the first entry of a value counts.
    std::stable_sort(failing_.begin(), failing_.end(), [](const Failing& a, const Failing& b) {
      return std::tie(a.Key, a.FoldedName) < std::tie(b.Key, b.FoldedName);
    });
  }

  // The fault of the value folded_query_ of `node`, if it has one.
  const Failing* FailingValue(KeyIndex node) const {
    const std::u16string_view name = folded_query_;
    const auto found = std::lower_bound(failing_.begin(), failing_.end(), name, [node](const Failing& a, auto b) {
      return a.Key != node ? a.Key < node : std::u16string_view(a.FoldedName) < b;
    });
    if (found == failing_.end() || found->Key != node || found->FoldedName != name) return nullptr;
    return &*found;
  }

  static bool FoldedEquals(std::u16string_view folded, std::u16string_view name) {
    if (folded.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (lan::FoldedUnit(name[i]) != folded[i]) return false;
    }
    return true;
  }

  // Appends the UTF-16 units of a stretch of text to `out`: a quoted one
  // with its escapes resolved when `quoted`. Bytes are decoded from the
  // file's code page.
  template <class Text>
  void AppendText(const Text& text, Span span, bool quoted, std::u16string& out) {
    if constexpr (std::is_same_v<Text, Utf16Text>) {
      if (quoted) {
        AppendUnquoted(text, span, out);
      } else {
        for (std::size_t i = span.Begin; i < span.End; ++i) out.push_back(text[i]);
      }
    } else {
      if (!quoted) {
        decoder_->Append(std::string_view(reinterpret_cast<const char*>(text.Data + span.Begin), span.Size()), out);
        return;
      }
      bytes_.clear();
      AppendUnquoted(text, span, bytes_);
      decoder_->Append(bytes_, out);
    }
  }

  // The name of a value line against the folded name asked for.
  template <class Text>
  bool NameMatches(const Text& text, const ParsedLine& line) {
    const Span name = line.Name;
    const bool unit_per_character = std::is_same_v<Text, Utf16Text> || decoder_->SingleByte();
    // Without escapes a name has as many units as characters.
    if (unit_per_character && !line.NameHasBackslash && name.Size() != folded_query_.size()) return false;
    const bool by_unit = unit_per_character || std::all_of(text.Data + name.Begin, text.Data + name.End,
                                                           [](unsigned char byte) { return byte < 0x80; });
    if (!by_unit) {
      units_.clear();
      AppendText(text, name, true, units_);
      return FoldedEquals(folded_query_, units_);
    }
    std::size_t matched = 0;
    for (std::size_t i = name.Begin; i < name.End; ++i) {
      char16_t unit = text[i];
      if (unit == u'\\' && i + 1 < name.End && (text[i + 1] == u'\\' || text[i + 1] == u'"')) unit = text[++i];
      if constexpr (std::is_same_v<Text, ByteText>) unit = decoder_->Unit(static_cast<unsigned char>(unit));
      if (matched == folded_query_.size() || lan::FoldedUnit(unit) != folded_query_[matched]) return false;
      ++matched;
    }
    return matched == folded_query_.size();
  }

  // Reads the key's sections for the value asked for (folded_query_):
  // the last line that sets or deletes it counts. Skipped lines of a
  // section read for the first time are reported.
  template <class Text>
  bool FindValue(const Text& text, KeyIndex node, ValueLine& value) {
    bool found = false;
    ForEachValueLine(text, node, [&](std::size_t, std::uint32_t) {
      if (!NameMatches(text, line_)) return;
      found = line_.Form != DataForm::kDelete;
      value = ValueOf(line_);
    });
    return found;
  }

  // Calls `function` with the start of each value line of the key and the
  // index of its section; line_ holds the line.
  template <class Text, class Function>
  void ForEachValueLine(const Text& text, KeyIndex node, Function&& function) {
    for (std::uint32_t index = tree_.FirstSection(node); index != ExportKeyTree::kNone;) {
      ExportKeyTree::Section& section = tree_.SectionAt(index);
      for (std::size_t pos = section.Begin; pos < section.End; pos = line_.Next) {
        ParseLine(text, pos, section.End, line_);
        if (line_.Kind == LineKind::kSkipped && !section.Read) Report(text, line_.FaultAt, line_.Message);
        if (line_.Kind == LineKind::kValue) function(pos, index);
      }
      section.Read = true;
      index = section.Next;
    }
  }

  // String data held in the file's code page: hex(1), hex(2) and hex(7)
  // of a REGEDIT4 file.
  bool DataInCodePage(const ValueLine& value) const {
    return value.Form == DataForm::kHex && IsStringType(value.Type) && !header_.WideStringData;
  }

  // The units of a string line, or of string data in the code page,
  // cannot be counted byte by byte: they are decoded.
  template <class Text>
  bool NeedsDecoding(const Text& /*text*/, const ValueLine& value) const {
    if constexpr (std::is_same_v<Text, Utf16Text>) {
      if (!DataInCodePage(value)) return false;
    }
    return !decoder_->SingleByte();
  }

  // The units of data that NeedsDecoding, in units_. Only data that a
  // value may hand out are decoded whole.
  template <class Text>
  void Decode(const Text& text, const ValueLine& value) {
    units_.clear();
    if (value.Form == DataForm::kString) {
      AppendText(text, value.Data, true, units_);
    } else {
      bytes_.resize(value.HexByteCount);
      WriteHexBytes(text, value.Data, reinterpret_cast<unsigned char*>(bytes_.data()));
      decoder_->Append(bytes_, units_);
    }
  }

  // The number of units of data that NeedsDecoding, counted a piece at a
  // time: the size of a value is known before anything is sized from it.
  template <class Text>
  std::uint64_t CountDecodedUnits(const Text& text, const ValueLine& value) {
    char piece[4096];
    std::size_t held = 0;
    Span rest = value.Data;
    std::uint64_t units = 0;
    for (bool first = true;; first = false) {
      const std::size_t room = sizeof piece - held;
      if (value.Form == DataForm::kHex) {
        held += TakeHexBytes(text, rest, reinterpret_cast<unsigned char*>(piece + held), room);
      } else if constexpr (std::is_same_v<Text, ByteText>) {
        held += TakeUnquoted(text, rest, piece + held, room);
      }
      const bool more = held == sizeof piece && !rest.Empty();
      std::size_t taken = decoder_->CountUnits(std::string_view(piece, held), first, more, units);
      // No character is as long as a piece; should one be, it is not one.
      if (more && taken == 0) taken = decoder_->CountUnits(std::string_view(piece, held), false, false, units);
      if (!more) return units;
      held -= taken;
      std::memmove(piece, piece + taken, held);
    }
  }

  // The size that the registry keeps: strings as UTF-16.
  template <class Text>
  std::uint64_t SizeOf(const Text& text, const ValueLine& value) {
    switch (value.Form) {
      case DataForm::kDelete:
        return 0;
      case DataForm::kDword:
        return 4;
      case DataForm::kHex:
        if (!DataInCodePage(value)) return value.HexByteCount;
        return 2 * (NeedsDecoding(text, value) ? CountDecodedUnits(text, value) : value.HexByteCount);
      case DataForm::kString:
        break;
    }
    if (NeedsDecoding(text, value)) return 2 * (CountDecodedUnits(text, value) + 1);
    if (!value.DataHasBackslash) return 2 * (std::uint64_t{value.Data.Size()} + 1);
    std::uint64_t units = 0;
    for (std::size_t i = value.Data.Begin; i < value.Data.End; ++i, ++units) {
      if (text[i] == u'\\' && i + 1 < value.Data.End && (text[i + 1] == u'\\' || text[i + 1] == u'"')) ++i;
    }
    return 2 * (units + 1);
  }

  // Writes the data, SizeOf bytes of them, to `out`.
  template <class Text>
  void WriteData(const Text& text, const ValueLine& value, char* out) {
    switch (value.Form) {
      case DataForm::kDelete:
        return;
      case DataForm::kDword:
        for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<char>(value.Dword >> shift);
        return;
      case DataForm::kHex:
        if (!DataInCodePage(value)) {
          WriteHexBytes(text, value.Data, reinterpret_cast<unsigned char*>(out));
          return;
        }
        if (NeedsDecoding(text, value)) {
          Decode(text, value);
          break;
        }
        bytes_.resize(value.HexByteCount);
        WriteHexBytes(text, value.Data, reinterpret_cast<unsigned char*>(bytes_.data()));
        for (char byte : bytes_) PutUnit(out, decoder_->Unit(static_cast<unsigned char>(byte)));
        return;
      case DataForm::kString:
        if (NeedsDecoding(text, value)) {
          Decode(text, value);
          units_.push_back(0);
          break;
        }
        if (!value.DataHasBackslash) {
          for (std::size_t i = value.Data.Begin; i < value.Data.End; ++i) {
            if constexpr (std::is_same_v<Text, ByteText>) {
              PutUnit(out, decoder_->Unit(text.Data[i]));
            } else {
              PutUnit(out, text[i]);
            }
          }
          PutUnit(out, 0);
          return;
        }
        for (std::size_t i = value.Data.Begin; i < value.Data.End; ++i) {
          char16_t unit = text[i];
          if (unit == u'\\' && i + 1 < value.Data.End && (text[i + 1] == u'\\' || text[i + 1] == u'"')) {
            unit = text[++i];
          }
          if constexpr (std::is_same_v<Text, ByteText>) unit = decoder_->Unit(static_cast<unsigned char>(unit));
          PutUnit(out, unit);
        }
        PutUnit(out, 0);
        return;
    }
    for (char16_t unit : units_) PutUnit(out, unit);
  }

  // Every value of the key, the last line for each name counting. Each
  // name is kept once, found by hash, with where its last line lies: many
  // values cost n rather than n squared, and values of one name written
  // again and again cost no memory.
  template <class Text>
  void DescribeValues(const Text& text, KeyIndex node, lan::KeyFacts& facts) {
    struct Named {
      std::size_t FoldedAt = 0;  // in folded_names
      std::size_t FoldedLength = 0;
      std::size_t Line = 0;
      std::uint32_t Section = 0;
    };
    constexpr std::uint32_t kFree = UINT32_MAX;
    std::vector<Named> names;
    std::u16string folded_names;
    std::vector<std::uint32_t> slots(16, kFree);
    const auto folded_name = [&](const Named& named) {
      return std::u16string_view(folded_names).substr(named.FoldedAt, named.FoldedLength);
    };
    const auto free_slot = [&](std::u16string_view folded) {
      std::size_t slot = static_cast<std::size_t>(NameHash(folded, 0)) & (slots.size() - 1);
      while (slots[slot] != kFree && folded_name(names[slots[slot]]) != folded) slot = (slot + 1) & (slots.size() - 1);
      return slot;
    };
    std::u16string folded;
    ForEachValueLine(text, node, [&](std::size_t line, std::uint32_t section) {
      units_.clear();
      AppendText(text, line_.Name, true, units_);
      lan::FoldNameInto(units_, folded);
      if ((names.size() + 1) * 2 > slots.size()) {
        slots.assign(slots.size() * 2, kFree);
        for (std::uint32_t i = 0; i < names.size(); ++i) slots[free_slot(folded_name(names[i]))] = i;
      }
      const std::size_t slot = free_slot(folded);
      if (slots[slot] == kFree) {
        slots[slot] = static_cast<std::uint32_t>(names.size());
        names.push_back(Named{folded_names.size(), folded.size(), line, section});
        folded_names += folded;
      } else {
        names[slots[slot]].Line = line;
        names[slots[slot]].Section = section;
      }
    });
    for (const Named& named : names) {
      ParseLine(text, named.Line, tree_.SectionAt(named.Section).End, line_);
      if (line_.Form == DataForm::kDelete) continue;
      ++facts.ValueCount;
      facts.LongestValueName = std::max(facts.LongestValueName, static_cast<DWORD>(named.FoldedLength));
      facts.LongestValueData = std::max(facts.LongestValueData, ReportedSize(SizeOf(text, ValueOf(line_))));
    }
  }

  ExportFileReport report_;
  Root root_ = Root::kLocalMachine;
  FileContents file_;
  std::u16string transcoded_;  // the text of a file that is decoded before it is parsed
  std::shared_ptr<const CodePageDecoder> decoder_;
  ExportHeader header_;
  ByteText byte_text_;
  Utf16Text wide_text_;
  ExportKeyTree tree_;
  FILETIME written_{};
  std::vector<KeyIndex> open_;  // by KeyId - 1; kNone when closed
  std::vector<KeyId> free_ids_;
  std::vector<Failing> failing_;
  Answer last_;
  KeyAbove above_;
  // Kept from call to call, so that reading allocates nothing once they
  // have grown.
  ParsedLine line_;
  std::u16string folded_query_;
  std::u16string units_;
  std::string bytes_;
  LineNumbers lines_;  // of the skipped lines reported
};

}  // namespace

DWORD OpenExportRegistry(const std::filesystem::path& file, HKEY root, const std::string& encoding,
                         const ExportFaults& faults, std::ostream& diagnostics,
                         std::unique_ptr<lan::RemoteRegistry>& registry) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS) return ERROR_INVALID_HANDLE;
  auto opened = std::make_unique<ExportRegistry>(file.string(), diagnostics);
  const DWORD status = opened->Load(file, root, encoding, faults);
  if (status != NO_ERROR) return status;
  registry = std::move(opened);
  return NO_ERROR;
}

}  // namespace regfile
