// A computer's registry read lazily from its export file answers as the
// stand-in's in-memory registry of the same file does (order, lengths,
// sizes, errors, faults), in both formats, and reads the file as Windows
// imports it, reporting each skipped line once, when it is read past.
#include "platform/export/export_registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/export/export_key_tree.h"
#include "platform/export/reg_file.h"
#include "tests/support/registry_backend.h"
#include "tests/support/temporary_lan.h"

namespace {

using lan::RemoteRegistry;

std::string Utf8(std::u16string_view units) {
  std::string text;
  for (char16_t unit : units) {
    if (unit < 0x80) {
      text.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      text.push_back(static_cast<char>(0xC0 | unit >> 6));
      text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xE0 | unit >> 12));
      text.push_back(static_cast<char>(0x80 | (unit >> 6 & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return text;
}

std::u16string Units(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// UTF-16LE bytes of UTF-8 test text (ASCII and two-byte characters).
std::string Wide(std::string_view utf8) {
  std::string wide;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned unit = static_cast<unsigned char>(utf8[i]);
    if (unit >= 0xC0) unit = (unit & 0x1F) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
    wide.push_back(static_cast<char>(unit & 0xFF));
    wide.push_back(static_cast<char>(unit >> 8));
  }
  return wide;
}

struct Answer {
  DWORD Status = 0;
  DWORD Type = 0;
  DWORD Size = 0;
  std::string Data;
  bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& answer) {
  return out << "status " << answer.Status << " type " << answer.Type << " size " << answer.Size << " data "
             << testing::PrintToString(answer.Data);
}

class ExportRegistryTest : public ::testing::Test {
 protected:
  // Opens `bytes` as a computer's registry; fails the test when it cannot.
  std::unique_ptr<RemoteRegistry> Open(const std::string& bytes, const regfile::ExportFaults& faults = {},
                                       const std::string& encoding = "", HKEY root = HKEY_LOCAL_MACHINE) {
    directory_.Write("PC.reg", bytes);
    std::unique_ptr<RemoteRegistry> registry;
    EXPECT_EQ(regfile::OpenExportRegistry(File(), root, encoding, faults, diagnostics_, registry), NO_ERROR);
    return registry;
  }

  std::string File() const { return directory_.Path() + "/PC.reg"; }

  // The messages said so far, each without "kestrova: " and its line end.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    std::istringstream lines(diagnostics_.str());
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.rfind("kestrova: ", 0), 0u) << line;
      messages.push_back(line.substr(std::min<std::size_t>(line.size(), 10)));
    }
    return messages;
  }

  static RemoteRegistry::KeyId Key(RemoteRegistry& registry, std::string_view path, REGSAM access = KEY_READ) {
    RemoteRegistry::KeyId key = 0;
    EXPECT_EQ(registry.OpenKey(RemoteRegistry::kRootKey, Units(path), access, key), NO_ERROR) << path;
    return key;
  }

  static std::vector<std::string> Subkeys(RemoteRegistry& registry, RemoteRegistry::KeyId key) {
    std::vector<std::string> names;
    std::u16string name;
    FILETIME written{};
    DWORD status = NO_ERROR;
    for (DWORD index = 0; (status = registry.EnumKey(key, index, name, written)) == NO_ERROR; ++index) {
      names.push_back(Utf8(name));
    }
    EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
    return names;
  }

  // The size alone, then the data, which must agree.
  static Answer Value(RemoteRegistry& registry, RemoteRegistry::KeyId key, std::u16string_view name) {
    Answer described;
    std::string unused;
    described.Status = registry.QueryValue(key, name, false, described.Type, described.Size, unused);
    Answer fetched;
    fetched.Status = registry.QueryValue(key, name, true, fetched.Type, fetched.Size, fetched.Data);
    if (described.Status == NO_ERROR) {
      EXPECT_EQ(fetched.Size, described.Size);
      if (fetched.Status == NO_ERROR) {
        EXPECT_EQ(fetched.Data.size(), fetched.Size);
      }
    }
    return fetched.Status == NO_ERROR ? fetched : described;
  }

  testing_support::TemporaryLan directory_;
  std::ostringstream diagnostics_;
};

const char* const kTree =
    "[HKEY_LOCAL_MACHINE\\List\\zeta]\r\n[HKEY_LOCAL_MACHINE\\List\\Alpha]\r\n[HKLM\\List\\a_b]\r\n"
    "[HKEY_LOCAL_MACHINE\\List\\AZ]\r\n[HKEY_LOCAL_MACHINE\\List\\_under]\r\n[HKEY_LOCAL_MACHINE\\List\\10]\r\n"
    "[HKEY_LOCAL_MACHINE\\List\\9]\r\n[HKEY_LOCAL_MACHINE\\List\\alpha2]\r\n[HKEY_LOCAL_MACHINE\\List\\BETA]\r\n"
    "[HKEY_LOCAL_MACHINE\\List\\Mixed]\r\n[HKEY_LOCAL_MACHINE\\LIST\\MIXED\\\\Below\\]\r\n"
    "[HKEY_LOCAL_MACHINE\\Info\\Short]\r\n[HKEY_LOCAL_MACHINE\\Info\\A Longer Name]\r\n"
    "[HKEY_LOCAL_MACHINE\\Info]\r\n\"v\"=dword:00000001\r\n"
    "\"Longest Value Name\"=hex:01,02,03,04,05,\\\r\n  06,07,08,09,0a\r\n@=hex(0):\r\n"
    "[HKEY_CURRENT_USER\\Other]\r\n[HKEY_USERS\\.DEFAULT\\Users Only]\r\n"
    "[HKEY_LOCAL_MACHINE\\Values]\r\n"
    "\"sz\"=\"text\"\r\n"
    "\"escaped\"=\"a \\\"b\\\" \\\\c\\\\ \\d\"\r\n"
    "\"dword\"=dword:01020304\r\n"
    "\"binary\"=hex:de,ad,be,ef,00\r\n"
    "\"none\"=hex(0):\r\n"
    "\"qword\"=hex(b):01,00,00,00,00,00,00,80\r\n"
    "\"later\"=\"first\"\r\n"
    "\"deleted\"=\"there\"\r\n"
    "@=\"default\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Elsewhere]\r\n"
    "[HKEY_LOCAL_MACHINE\\Values]\r\n"
    "\"later\"=\"second\"\r\n"
    "\"deleted\"=-\r\n";

TEST_F(ExportRegistryTest, KeysAndValuesAnswerAsTheInMemoryRegistryInBothFormats) {
  for (const std::string& file : {Regedit4(kTree), Regedit5(kTree)}) {
    SCOPED_TRACE(file.substr(0, 2) == "\xFF\xFE" ? "version 5" : "REGEDIT4");
    const auto registry = Open(file);
    ASSERT_TRUE(registry);
    // By upper-cased name, so '_' comes after the letters; a second
    // spelling of a name merges into the first, which keeps its case.
    EXPECT_EQ(Subkeys(*registry, Key(*registry, "list")),
              (std::vector<std::string>{"10", "9", "Alpha", "alpha2", "AZ", "a_b", "BETA", "Mixed", "zeta", "_under"}));
    EXPECT_EQ(Subkeys(*registry, RemoteRegistry::kRootKey),
              (std::vector<std::string>{"Elsewhere", "Info", "List", "Values"}))
        << "keys of other roots are not this registry's";
    Key(*registry, "List\\mixed\\BELOW");

    lan::KeyFacts facts;
    ASSERT_EQ(registry->QueryKeyFacts(Key(*registry, "Info"), facts), NO_ERROR);
    EXPECT_EQ(facts.SubkeyCount, 2u);
    EXPECT_EQ(facts.LongestSubkeyName, 13u);
    EXPECT_EQ(facts.ValueCount, 3u);
    EXPECT_EQ(facts.LongestValueName, 18u);
    EXPECT_EQ(facts.LongestValueData, 10u);
    EXPECT_TRUE(facts.LastWritten.dwLowDateTime != 0 || facts.LastWritten.dwHighDateTime != 0);
    ASSERT_EQ(registry->QueryKeyFacts(Key(*registry, "Values"), facts), NO_ERROR);
    EXPECT_EQ(facts.ValueCount, 8u);
    EXPECT_EQ(facts.LongestValueData, 26u);  // "a "b" \c\ \d" and its zero in UTF-16

    const RemoteRegistry::KeyId values = Key(*registry, "VALUES");
    struct Case {
      std::u16string name;
      Answer answer;
    };
    const Case cases[] = {
        {u"sz", {NO_ERROR, REG_SZ, 10, Wide(std::string("text\0", 5))}},
        {u"SZ", {NO_ERROR, REG_SZ, 10, Wide(std::string("text\0", 5))}},
        {u"escaped", {NO_ERROR, REG_SZ, 26, Wide(std::string("a \"b\" \\c\\ \\d\0", 13))}},
        {u"dword", {NO_ERROR, REG_DWORD, 4, "\x04\x03\x02\x01"}},
        {u"binary", {NO_ERROR, REG_BINARY, 5, std::string("\xDE\xAD\xBE\xEF\0", 5)}},
        {u"none", {NO_ERROR, REG_NONE, 0, ""}},
        {u"qword", {NO_ERROR, REG_QWORD, 8, std::string("\x01\0\0\0\0\0\0\x80", 8)}},
        {u"later", {NO_ERROR, REG_SZ, 14, Wide(std::string("second\0", 7))}},
        {u"", {NO_ERROR, REG_SZ, 16, Wide(std::string("default\0", 8))}},
        {u"deleted", {ERROR_FILE_NOT_FOUND, 0, 0, ""}},
        {u"missing", {ERROR_FILE_NOT_FOUND, 0, 0, ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(Value(*registry, values, c.name), c.answer) << Utf8(c.name);
    EXPECT_TRUE(Messages().empty());
  }
}

TEST_F(ExportRegistryTest, StringDataOfEachFormatBecomeUtf16AsStored) {
  const auto old =
      Open(Regedit4("[HKEY_LOCAL_MACHINE\\K]\r\n\"bare\"=hex(1):74,65,78,74\r\n"
                    "\"expand\"=hex(2):25,41,25,00\r\n\"multi\"=hex(7):61,00,e9,00,00\r\n"));
  const RemoteRegistry::KeyId key = Key(*old, "K");
  EXPECT_EQ(Value(*old, key, u"bare"), (Answer{NO_ERROR, REG_SZ, 8, Wide("text")}));
  EXPECT_EQ(Value(*old, key, u"expand"), (Answer{NO_ERROR, REG_EXPAND_SZ, 8, Wide(std::string("%A%\0", 4))}));
  EXPECT_EQ(Value(*old, key, u"multi"), (Answer{NO_ERROR, REG_MULTI_SZ, 10, Wide(std::string("a\0\xC3\xA9\0\0", 6))}));

  const auto wide = Open(Regedit5("[HKEY_LOCAL_MACHINE\\K]\r\n\"odd\"=hex(2):25,00,41\r\n"));
  EXPECT_EQ(Value(*wide, Key(*wide, "K"), u"odd"), (Answer{NO_ERROR, REG_EXPAND_SZ, 3, std::string("%\0A", 3)}))
      << "kept as stored: the conversion to ANSI is the caller's";
}

// Subkeys opened by their whole paths, in the listed order (as the
// inventory opens them), backwards, skipping and in another case.
TEST_F(ExportRegistryTest, EachPathOpensItsOwnKeyInWhateverOrder) {
  const std::vector<std::string> names = {"A", "b", "C", "d", "E"};
  std::string body;
  for (const std::string& name : names)
    body += "[HKEY_LOCAL_MACHINE\\Apps\\" + name + "]\r\n\"n\"=\"" + name + "\"\r\n";
  const auto registry = Open(Regedit4(body + "[HKEY_LOCAL_MACHINE\\Other\\A]\r\n\"n\"=\"other\"\r\n"));
  const std::vector<std::vector<std::string>> orders = {
      {"A", "b", "C", "d", "E"}, {"E", "d", "C", "b", "A"}, {"b", "d", "A", "E", "C"}, {"a", "B", "c", "D", "e"}};
  for (const auto& order : orders) {
    for (const std::string& name : order) {
      const Answer value = Value(*registry, Key(*registry, "Apps\\" + name), u"n");
      std::string expected = name;
      for (const std::string& listed : names) {
        if (listed.size() == name.size() && (listed[0] | 0x20) == (name[0] | 0x20)) expected = listed;
      }
      EXPECT_EQ(value.Data, Wide(expected + std::string(1, '\0'))) << name;
    }
    EXPECT_EQ(Value(*registry, Key(*registry, "Other\\A"), u"n").Data, Wide(std::string("other\0", 6)));
  }
}

TEST_F(ExportRegistryTest, KeysAnswerWithTheErrorsOfTheInMemoryRegistry) {
  const auto registry = Open(Regedit4("[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"v\"=\"1\"\r\n"));
  RemoteRegistry::KeyId key = 0;
  EXPECT_EQ(registry->OpenKey(RemoteRegistry::kRootKey, u"A\\C", KEY_READ, key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry->OpenKey(RemoteRegistry::kRootKey, u"A\\B\\C", KEY_READ, key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(registry->OpenKey(RemoteRegistry::kRootKey, u"a", KEY_ALL_ACCESS, key), NO_ERROR);
  RemoteRegistry::KeyId below = 0;
  ASSERT_EQ(registry->OpenKey(key, u"b", KEY_READ, below), NO_ERROR);
  RemoteRegistry::KeyId itself = 0;
  ASSERT_EQ(registry->OpenKey(key, u"", KEY_READ, itself), NO_ERROR);
  EXPECT_EQ(Subkeys(*registry, itself), std::vector<std::string>{"B"});

  EXPECT_EQ(registry->CloseKey(key), NO_ERROR);
  EXPECT_EQ(registry->CloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->CloseKey(RemoteRegistry::kRootKey), ERROR_INVALID_HANDLE);
  std::u16string name;
  FILETIME written{};
  std::string data;
  DWORD type = 0;
  DWORD size = 0;
  lan::KeyFacts facts;
  EXPECT_EQ(registry->EnumKey(key, 0, name, written), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->QueryValue(key, u"v", true, type, size, data), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->QueryKeyFacts(99, facts), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->OpenKey(99, u"B", KEY_READ, key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Value(*registry, below, u"V"), (Answer{NO_ERROR, REG_SZ, 4, Wide(std::string("1\0", 2))}));

  // HKEY_USERS reaches that root's keys alone.
  std::unique_ptr<RemoteRegistry> users;
  ASSERT_EQ(regfile::OpenExportRegistry(File(), HKEY_USERS, "", {}, diagnostics_, users), NO_ERROR);
  EXPECT_TRUE(Subkeys(*users, RemoteRegistry::kRootKey).empty());
}

TEST_F(ExportRegistryTest, DeniedKeysAndFailingValuesPlayTheComputersFaults) {
  regfile::ExportFaults faults;
  faults.DeniedKeys = {u"software\\LOCKED", u"Software\\Missing"};
  // Several values of one key, the same name below another, and a value
  // named twice: the first entry counts.
  faults.FailingValues = {{u"Software\\Apps\\One", u"broken", ERROR_IO_DEVICE},
                          {u"Software\\Apps\\Two", u"Broken", ERROR_ACCESS_DENIED},
                          {u"Software\\Apps\\One", u"", ERROR_BAD_NETPATH},
                          {u"Software\\Apps\\One", u"Zeta", ERROR_INVALID_NAME},
                          {u"SOFTWARE\\apps\\one", u"ZETA", ERROR_ACCESS_DENIED}};
  const auto registry = Open(Regedit4("[HKEY_LOCAL_MACHINE\\Software\\Apps\\One]\r\n\"DisplayName\"=\"First\"\r\n"
                                      "\"Broken\"=\"cannot be fetched\"\r\n@=\"d\"\r\n\"Zeta\"=\"z\"\r\n"
                                      "[HKEY_LOCAL_MACHINE\\Software\\Apps\\Two]\r\n\"Broken\"=\"x\"\r\n"
                                      "\"DisplayName\"=\"Second\"\r\n"
                                      "[HKEY_LOCAL_MACHINE\\Software\\Locked\\Inner]\r\n"),
                             faults);
  struct Case {
    const char16_t* path;
    REGSAM rights;
    DWORD status;
  };
  const Case cases[] = {
      {u"Software\\Locked", KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
      {u"Software\\Locked", KEY_QUERY_VALUE | KEY_SET_VALUE, ERROR_ACCESS_DENIED},
      {u"Software\\Locked", KEY_READ, NO_ERROR},
      {u"Software\\Locked", KEY_READ | MAXIMUM_ALLOWED, NO_ERROR},
      {u"Software\\Locked\\Inner", KEY_ALL_ACCESS, NO_ERROR},
      {u"Software", KEY_ALL_ACCESS, NO_ERROR},
  };
  for (const Case& c : cases) {
    RemoteRegistry::KeyId key = 0;
    EXPECT_EQ(registry->OpenKey(RemoteRegistry::kRootKey, c.path, c.rights, key), c.status) << Utf8(c.path);
  }
  const RemoteRegistry::KeyId one = Key(*registry, "Software\\Apps\\One");
  DWORD type = 0;
  DWORD size = 0;
  std::string data;
  ASSERT_EQ(registry->QueryValue(one, u"BROKEN", false, type, size, data), NO_ERROR);
  EXPECT_EQ(size, 36u);
  EXPECT_EQ(registry->QueryValue(one, u"Broken", true, type, size, data), ERROR_IO_DEVICE);
  EXPECT_EQ(registry->QueryValue(one, u"", true, type, size, data), ERROR_BAD_NETPATH);
  EXPECT_EQ(registry->QueryValue(one, u"zeta", true, type, size, data), ERROR_INVALID_NAME);
  EXPECT_EQ(Value(*registry, one, u"DisplayName").Status, NO_ERROR);
  const RemoteRegistry::KeyId two = Key(*registry, "Software\\Apps\\Two");
  EXPECT_EQ(registry->QueryValue(two, u"BROKEN", true, type, size, data), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Value(*registry, two, u"DisplayName").Status, NO_ERROR);
}

// Skipped lines are reported once each, with their file and line, when the
// registry first reads past them; lines that no query reads are not.
TEST_F(ExportRegistryTest, SkippedLinesAreReportedWhenReadPast) {
  std::string file =
      "REGEDIT4\r\n"
      "@echo off\r\n"                                     // 2
      "[HKEY_LOCAL_MACHINE\\Apps\\A]\r\n"                 // 3
      "\"DisplayName\"=\"First\"\r\n"                     // 4
      "\"Version\"=\"1\"#c\r\n"                           // 5
      "\"DisplayName\"=hex(2):41,00,\\\r\n  zz,00\r\n"    // 6, with its continuation
      "[HKEY_LOCAL_MACHINE\\Apps\\B] x\r\n"               // 8
      "\"DisplayName\"=\"Under a skipped key line\"\r\n"  // 9
      "[-HKEY_LOCAL_MACHINE\\Apps\\C]\r\n"                // 10
      "\"DisplayName\"=\"Below a deletion\"\r\n"          // 11
      "[HKEY_LOCAL_MACHINE\\Apps\\D]\r\n"                 // 12
      "junk never read\r\n"                               // 13
      "[HKEY_LOCAL_MACHINE\\Apps\\C]\r\n"                 // 14
      "\"DisplayName\"=\"After the deletion\"\r\n";       // 15
  const auto registry = Open(file);
  const std::string at = File() + ":";
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            at + "2: line before the first key line; the line is skipped",
                            at + "8: unexpected text after the key line; the line and the values below it are skipped",
                        }));
  diagnostics_.str("");
  EXPECT_EQ(Subkeys(*registry, Key(*registry, "Apps")), (std::vector<std::string>{"A", "C", "D"}));
  const RemoteRegistry::KeyId a = Key(*registry, "Apps\\A");
  EXPECT_EQ(Value(*registry, a, u"DisplayName"), (Answer{NO_ERROR, REG_SZ, 12, Wide(std::string("First\0", 6))}));
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            at + "5: unexpected text after the value; the line is skipped",
                            at + "7: invalid hexadecimal byte 'zz,00'; the line is skipped",
                        }));
  Value(*registry, a, u"Version");
  EXPECT_EQ(Messages().size(), 2u) << "each line is reported once";
  EXPECT_EQ(Value(*registry, Key(*registry, "Apps\\C"), u"DisplayName").Data,
            Wide(std::string("After the deletion\0", 19)));
  EXPECT_EQ(Messages().size(), 2u);
}

TEST_F(ExportRegistryTest, TenMessagesAFileThenTheCountWhenTheRegistryGoes) {
  std::string body = "[HKEY_LOCAL_MACHINE\\K]\r\n";
  for (int i = 0; i < 13; ++i) body += "junk\r\n";
  auto registry = Open(Regedit4(body));
  Value(*registry, Key(*registry, "K"), u"v");
  EXPECT_EQ(Messages().size(), 10u);
  EXPECT_EQ(Messages().back(), File() + ":13: unrecognised line 'junk'; the line is skipped");
  registry.reset();
  ASSERT_EQ(Messages().size(), 11u);
  EXPECT_EQ(Messages().back(), File() + ": 3 more lines skipped");
}

TEST_F(ExportRegistryTest, Regedit4TextIsDecodedFromItsCodePage) {
  const std::u16string cafe = u"Caf\u00E9";
  struct Case {
    const char* encoding;
    std::string key_name;
    std::string value;
    std::u16string expected_key;
    std::u16string expected_value;
  };
  const Case cases[] = {
      {"", "caf\xE9", "Caf\xE9", u"caf\u00E9", cafe},
      {"CP1252", "caf\xE9", "Caf\xE9", u"caf\u00E9", cafe},
      {"UTF-8", "caf\xC3\xA9", "Caf\xC3\xA9", u"caf\u00E9", cafe},
      // 0x5C, a backslash alone, ends the two-byte character U+8868 in 932:
      // the text is decoded before it is parsed.
      {"CP932", "Soft\x95\x5C", "\x95\x5C", u"Soft\u8868", u"\u8868"},
      {"CP1251", "\xCF\xF0", "\xCF\xF0\xE8\xE2\xE5\xF2", u"\u041F\u0440", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
      {"no such code page", "caf\xE9", "Caf\xE9", u"caf\u00E9", cafe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoding);
    diagnostics_.str("");
    const auto registry =
        Open(Regedit4("[HKEY_LOCAL_MACHINE\\" + c.key_name + "]\r\n\"Name\"=\"" + c.value +
                      "\"\r\n\"Data\"=hex(2):" + (std::string(c.encoding) == "UTF-8" ? "c3,a9" : "e9") + ",00\r\n"),
             {}, c.encoding);
    std::u16string name;
    FILETIME written{};
    ASSERT_EQ(registry->EnumKey(RemoteRegistry::kRootKey, 0, name, written), NO_ERROR);
    EXPECT_EQ(name, c.expected_key);
    RemoteRegistry::KeyId key = 0;
    ASSERT_EQ(registry->OpenKey(RemoteRegistry::kRootKey, c.expected_key, KEY_READ, key), NO_ERROR);
    const Answer value = Value(*registry, key, u"name");
    std::u16string text(value.Data.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(value.Data[2 * i]) |
                                      static_cast<unsigned char>(value.Data[2 * i + 1]) << 8);
    }
    EXPECT_EQ(text, c.expected_value + u'\0');
    if (std::string(c.encoding) != "CP932" && std::string(c.encoding) != "CP1251") {
      EXPECT_EQ(Value(*registry, key, u"DATA").Data, Wide("\xC3\xA9") + std::string(2, '\0'));
    }
    EXPECT_EQ(Messages().size(), std::string(c.encoding) == "no such code page" ? 1u : 0u);
  }
}

// Keys created and deleted in any order are found as a plain set of paths
// keeps them: deleted keys leave the tree's table, and the keys that
// shared their chains of it stay within reach.
TEST(ExportKeyTreeTest, KeysCreatedAndDeletedAgainAndAgainAreFoundAsASetOfPathsHasThem) {
  regfile::ExportKeyTree tree;
  std::set<std::u16string> live;
  std::mt19937 random(19);
  const auto name = [&random] { return u"K" + Units(std::to_string(random() % 40)); };
  for (int step = 0; step < 20000; ++step) {
    const std::u16string path = random() % 2 == 0 ? name() : name() + u"\\" + name();
    if (random() % 3 == 0) {
      tree.Delete(path);
      live.erase(path);
      live.erase(live.lower_bound(path + u"\\"), live.lower_bound(path + u"\\\xFFFF"));
    } else {
      ASSERT_TRUE(tree.Create(path));
      live.insert(path);
      live.insert(path.substr(0, path.find(u'\\')));
    }
  }
  tree.Finish();
  // Each key listed once below its parent, and found by its path.
  std::vector<std::u16string> listed;
  const auto list = [&](auto& self, regfile::ExportKeyTree::KeyIndex key, const std::u16string& path) -> void {
    for (std::uint32_t i = 0; i < tree.SubkeyCount(key); ++i) {
      const auto subkey = tree.Subkey(key, i);
      const std::u16string below = (path.empty() ? u"" : path + u"\\") + std::u16string(tree.Name(subkey));
      listed.push_back(below);
      self(self, subkey, below);
    }
  };
  list(list, regfile::ExportKeyTree::kRoot, u"");
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, std::vector<std::u16string>(live.begin(), live.end()));
  for (int first = 0; first < 40; ++first) {
    const std::u16string above = u"K" + Units(std::to_string(first));
    for (int second = -1; second < 40; ++second) {
      const std::u16string path = second < 0 ? above : above + u"\\K" + Units(std::to_string(second));
      EXPECT_EQ(tree.Find(regfile::ExportKeyTree::kRoot, path).has_value(), live.count(path) == 1) << Utf8(path);
    }
  }
}

// A key whose value lines repeat one name costs as much memory as its
// names, not as its lines.
TEST_F(ExportRegistryTest, ValuesOfOneNameWrittenAgainAndAgainAreDescribedInLittleMemory) {
  std::string body = "[HKEY_LOCAL_MACHINE\\K]\r\n";
  for (int i = 0; i < 300000; ++i) body += "\"a\"=-\r\n";
  const auto registry = Open(Regedit4(body + "\"A\"=\"last\"\r\n"));
  body = std::string();
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  lan::KeyFacts facts;
  ASSERT_EQ(registry->QueryKeyFacts(Key(*registry, "K"), facts), NO_ERROR);
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(facts.ValueCount, 1u);
  EXPECT_EQ(facts.LongestValueData, 10u);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "KiB more at the peak";
}

// A value larger than a LAN source hands out tells its type and size but
// refuses its data, in every form of data and code page; the size is
// counted without the data being decoded whole.
TEST_F(ExportRegistryTest, ValuesAboveTheDataLimitTellTheirSizeAndRefuseTheirData) {
  constexpr std::size_t kLimit = lan::kMaxValueData;
  // A list of `count` bytes, the two of `pair` in turn, wrapped as the
  // registry editor wraps it.
  const auto hex = [](std::size_t count, std::string_view pair) {
    std::string line;
    for (int i = 0; i < 24; ++i) (line += pair.substr(i % 2 * 3, 2)) += ",";
    line += "\\\r\n  ";
    std::string list;
    for (std::size_t i = 0; i < count / 24; ++i) list += line;
    for (std::size_t i = count / 24 * 24; i < count; ++i) (list += pair.substr(i % 2 * 3, 2)) += ",";
    list.pop_back();
    return list;
  };
  const auto e_acute = [](std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "\xC3\xA9";
    return text;
  };
  struct Case {
    std::string name;
    std::string line;  // below the key, as the file holds it
    std::string encoding;
    DWORD type;
    std::uint64_t size;
  };
  // The UTF-8 data start with one ASCII byte, so that the pieces in which
  // they are counted end in the middle of a character.
  const Case cases[] = {
      {"string at the limit", "\"v\"=\"" + std::string(kLimit / 2 - 1, 'x') + "\"", "", REG_SZ, kLimit},
      {"string", "\"v\"=\"" + std::string(kLimit / 2, 'x') + "\"", "", REG_SZ, kLimit + 2},
      {"escaped string", "\"v\"=\"" + std::string(kLimit / 2 - 2, 'x') + "\\\\\\\"\"", "", REG_SZ, kLimit + 2},
      {"UTF-8 string at the limit", "\"v\"=\"a" + e_acute(kLimit / 2 - 2) + "\"", "UTF-8", REG_SZ, kLimit},
      {"UTF-8 string", "\"v\"=\"a" + e_acute(kLimit / 2 - 1) + "\"", "UTF-8", REG_SZ, kLimit + 2},
      {"hex", "\"v\"=hex:" + hex(kLimit + 1, "ab,ab"), "", REG_BINARY, kLimit + 1},
      {"hex(1)", "\"v\"=hex(1):" + hex(kLimit / 2 + 1, "41,41"), "", REG_SZ, kLimit + 2},
      {"UTF-8 hex(2)", "\"v\"=hex(2):41," + hex(kLimit, "c3,a9"), "UTF-8", REG_EXPAND_SZ, kLimit + 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto registry = Open(Regedit4("[HKEY_LOCAL_MACHINE\\K]\r\n" + c.line + "\r\n"), {}, c.encoding);
    const RemoteRegistry::KeyId key = Key(*registry, "K");
    lan::KeyFacts facts;
    ASSERT_EQ(registry->QueryKeyFacts(key, facts), NO_ERROR);
    EXPECT_EQ(facts.LongestValueData, c.size);
    DWORD type = 0;
    DWORD size = 0;
    std::string data;
    ASSERT_EQ(registry->QueryValue(key, u"v", false, type, size, data), NO_ERROR);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.size);
    const DWORD fetched = registry->QueryValue(key, u"v", true, type, size, data);
    if (c.size <= kLimit) {
      EXPECT_EQ(fetched, NO_ERROR);
      EXPECT_EQ(data.size(), c.size);
    } else {
      EXPECT_EQ(fetched, ERROR_NOT_ENOUGH_MEMORY);
    }
  }
  EXPECT_TRUE(Messages().empty());
}

// A file that cannot be read, or is no export, costs its registry alone,
// with one message: nothing waits on a FIFO, a file whose start is no
// export is not read further, and none larger than the limit is read.
TEST_F(ExportRegistryTest, AFileThatCannotBeReadGivesOneMessageAndNoRegistry) {
  const std::string path = directory_.Path() + "/";
  directory_.Write("PC.reg", "@echo off\r\nREGEDIT4\r\n[HKEY_LOCAL_MACHINE\\K]\r\n");
  ASSERT_EQ(mkfifo((path + "fifo.reg").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", path + "zero.reg");
  // Sparse files: no disk is used, and only what is read costs memory.
  directory_.Write("nothing.reg", "");
  std::filesystem::resize_file(path + "nothing.reg", std::uintmax_t{512} << 20);
  directory_.Write("huge.reg", Regedit4("[HKEY_LOCAL_MACHINE\\K]\r\n"));
  std::filesystem::resize_file(path + "huge.reg", (std::uintmax_t{1} << 30) + 1);
  // A file that tells a size of 0 and holds more.
  std::filesystem::create_symlink("/proc/self/cmdline", path + "growing.reg");
  const std::string not_read = ": not a regular file; it is not read";
  const struct {
    std::string file;
    std::string message;
  } cases[] = {
      {"missing.reg", ": cannot be read: No such file or directory"},
      {"", not_read},  // the directory
      {"fifo.reg", not_read},
      {"zero.reg", not_read},
      {"PC.reg", std::string(":1: ") + regfile::kNotAnExportMessage},
      {"nothing.reg", std::string(":1: ") + regfile::kNotAnExportMessage},
      {"huge.reg", ": larger than 1 GiB, the most that is read of an export file; it is not read"},
      {"growing.reg", ": changed while it was read; it is not used"},
  };
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    diagnostics_.str("");
    std::unique_ptr<RemoteRegistry> registry;
    auto opened = std::async(std::launch::async, [&] {
      return regfile::OpenExportRegistry(path + c.file, HKEY_LOCAL_MACHINE, "", {}, diagnostics_, registry);
    });
    if (opened.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      // A reader waiting on a FIFO goes on once a writer comes.
      const int writer = open((path + c.file).c_str(), O_WRONLY | O_NONBLOCK);
      opened.wait();
      close(writer);
      ADD_FAILURE() << "the registry waited on the file";
      continue;
    }
    EXPECT_EQ(opened.get(), ERROR_REGISTRY_CORRUPT);
    EXPECT_FALSE(registry);
    EXPECT_EQ(Messages(), std::vector<std::string>{path + c.file + c.message});
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KiB more at the peak: a file was read whole";

  std::unique_ptr<RemoteRegistry> registry;
  EXPECT_EQ(regfile::OpenExportRegistry(File(), HKEY_CURRENT_USER, "", {}, diagnostics_, registry),
            ERROR_INVALID_HANDLE);
  ASSERT_EQ(regfile::OpenExportRegistry("", HKEY_LOCAL_MACHINE, "", {}, diagnostics_, registry), NO_ERROR);
  EXPECT_TRUE(Subkeys(*registry, RemoteRegistry::kRootKey).empty()) << "no file: an empty registry";
}

}  // namespace
