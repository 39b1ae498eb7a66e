// The keys of a registry export below one root, built from the file's key
// lines alone: each key's name, its subkeys in the order Windows
// enumerates them (by folded name), and the stretches of the file below
// its key lines (sections) that hold its values, which are read only when
// a value is asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace regfile {

class ExportKeyTree {
 public:
  using KeyIndex = std::uint32_t;
  static constexpr KeyIndex kRoot = 0;
  static constexpr std::uint32_t kNone = UINT32_MAX;
  // The longest key name, in UTF-16 units.
  static constexpr std::size_t kLongestName = 255;

  // Units [Begin, End) of the file below one key line, up to the next.
  struct Section {
    std::size_t Begin = 0;
    std::size_t End = 0;
    std::uint32_t Next = kNone;  // the key's next section
    bool Read = false;           // its skipped lines have been reported
  };

  ExportKeyTree();

  // Building, in the order of the key lines. A path holds names separated
  // by backslashes (runs of them count as one, a trailing one is ignored).

  // The key at `path`, created with the keys above it when missing;
  // nullopt when a name is longer than kLongestName.
  std::optional<KeyIndex> Create(std::u16string_view path);
  // Deletes the key at `path` with everything below it, if it exists.
  void Delete(std::u16string_view path);
  void AddSection(KeyIndex key, std::size_t begin, std::size_t end);
  // Ends the building: deleted keys go, subkeys are put in order.
  void Finish();

  // Reading, after Finish.

  // The key at `path` below `start` (names compared as Windows compares
  // them); nullopt when one is missing.
  std::optional<KeyIndex> Find(KeyIndex start, std::u16string_view path);
  std::uint32_t SubkeyCount(KeyIndex key) const { return nodes_[key].ChildCount; }
  KeyIndex Subkey(KeyIndex key, std::uint32_t index) const { return children_[nodes_[key].FirstChild + index]; }
  // The index of `key` among the subkeys of the key above it.
  std::uint32_t SubkeyIndex(KeyIndex key) const { return nodes_[key].Position; }
  std::u16string_view Name(KeyIndex key) const {
    return std::u16string_view(names_).substr(nodes_[key].NameOffset, nodes_[key].NameLength);
  }
  std::uint32_t FirstSection(KeyIndex key) const { return nodes_[key].FirstSection; }
  Section& SectionAt(std::uint32_t index) { return sections_[index]; }

  bool Denied(KeyIndex key) const { return nodes_[key].Denied; }
  void Deny(KeyIndex key) { nodes_[key].Denied = true; }

 private:
  struct Node {
    KeyIndex Parent = kNone;
    std::uint32_t NameOffset = 0;
    std::uint32_t NameLength = 0;
    std::uint32_t FirstChild = 0;
    std::uint32_t ChildCount = 0;
    std::uint32_t Position = 0;  // among the parent's children
    std::uint32_t FirstSection = kNone;
    std::uint32_t LastSection = kNone;
    bool Deleted = false;
    bool Denied = false;
  };

  std::u16string_view Folded(KeyIndex key) const {
    return std::u16string_view(folded_).substr(nodes_[key].NameOffset, nodes_[key].NameLength);
  }
  // The live child of `parent` whose folded name is `folded`, or kNone.
  KeyIndex Lookup(KeyIndex parent, std::u16string_view folded) const;
  // The live child of `parent` whose folded name is `folded`, added when
  // there is none.
  KeyIndex LookupOrAdd(KeyIndex parent, std::u16string_view name, std::u16string_view folded);
  std::size_t Slot(KeyIndex parent, std::u16string_view folded) const;
  // Takes `key` out of the table.
  void Unlist(KeyIndex key);
  bool SameFolded(KeyIndex key, std::u16string_view folded) const;
  void Grow();

  std::vector<Node> nodes_;
  std::u16string names_;   // every name as written, one after the other
  std::u16string folded_;  // the same, folded
  std::vector<Section> sections_;
  std::vector<KeyIndex> children_;  // each key's subkeys together, in order
  // Every key by parent and folded name (NameHash), open addressing with
  // linear probing; deleted keys are taken out.
  std::vector<KeyIndex> slots_;
  std::u16string scratch_;
  // The path of the latest key created and the key of each of its names:
  // key lines of an export mostly share their leading names.
  std::u16string last_path_;
  std::vector<std::size_t> last_ends_;  // where each name of last_path_ ends
  std::vector<KeyIndex> last_keys_;
};

}  // namespace regfile
