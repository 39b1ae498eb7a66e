#include "platform/export/reg_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/registry_backend.h"

namespace {

// A stand-in for the ANSI code page 1252 that is enough for the texts
// below: UTF-16 units up to 0xFF become one byte, others '?'; a lone
// surrogate is invalid.
std::optional<std::string> Latin1FromUtf16le(std::string_view wide) {
  std::string ansi;
  for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(wide[i]) | static_cast<unsigned char>(wide[i + 1]) << 8;
    if (unit >= 0xD800 && unit <= 0xDFFF) return std::nullopt;
    ansi.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
  }
  return ansi;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (char byte : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[static_cast<unsigned char>(byte) >> 4];
    text += digits[static_cast<unsigned char>(byte) & 15];
  }
  return text;
}

// One operation as a line: "KIND ROOT\path|name|type|data bytes".
std::string Describe(const regfile::Operation& operation) {
  static const char* const kinds[] = {"create", "delete", "set", "unset"};
  static const char* const roots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
  std::string text = std::string(kinds[static_cast<int>(operation.Kind)]) + " " +
                     roots[static_cast<int>(operation.KeyRoot)] + "\\" + operation.KeyPath;
  if (operation.Kind == regfile::OperationKind::kSetValue || operation.Kind == regfile::OperationKind::kDeleteValue) {
    text += "|" + operation.ValueName;
  }
  if (operation.Kind == regfile::OperationKind::kSetValue) {
    // Appended piece by piece: "|" + std::string&& sets off a false
    // -Wrestrict warning in GCC 12's optimized builds.
    text += '|';
    text += std::to_string(operation.Type);
    text += '|';
    text += Hex(operation.Data);
  }
  return text;
}

std::vector<std::string> DescribeAll(const regfile::ParseResult& result) {
  std::vector<std::string> lines;
  for (const auto& operation : result.Operations) lines.push_back(Describe(operation));
  return lines;
}

regfile::ParseResult Parse(std::string_view text) { return regfile::ParseRegFile(text, Latin1FromUtf16le); }

struct Construct {
  const char* title;
  std::string body;  // after the REGEDIT4 header
  std::vector<std::string> operations;
};

TEST(RegFileTest, EachConstructOfARegedit4File) {
  const Construct constructs[] = {
      {"key lines, long and short root names, kept as written",
       "[HKEY_LOCAL_MACHINE\\Software\\A]\n[hklm\\B]\n[HKEY_USERS]\n[HKCU\\x\\]\n",
       {"create HKLM\\Software\\A", "create HKLM\\B", "create HKU\\", "create HKCU\\x\\"}},
      {"key deletion", "[-HKEY_CLASSES_ROOT\\Old]\n", {"delete HKCR\\Old"}},
      {"string with escapes, the default value, a value deletion",
       "[HKLM\\K]\n\"path\"=\"C:\\\\dir\\\\\"\n@=\"say \\\"hi\\\"\"\n\"gone\"=-\n",
       {"create HKLM\\K", "set HKLM\\K|path|1|43 3a 5c 64 69 72 5c 00", "set HKLM\\K||1|73 61 79 20 22 68 69 22 00",
        "unset HKLM\\K|gone"}},
      {"escaped name, other backslashes kept",
       "[HKLM\\K]\n\"a\\\"b\\\\c\\n\"=\"\"\n",
       {"create HKLM\\K", "set HKLM\\K|a\"b\\c\\n|1|00"}},
      {"dword, upper and lower case",
       "[HKLM\\K]\n\"d\"=dword:0000ABcd\n\"e\"=DWORD:1\n",
       {"create HKLM\\K", "set HKLM\\K|d|4|cd ab 00 00", "set HKLM\\K|e|4|01 00 00 00"}},
      {"hex and hex(N) of every kind, ANSI bytes as they stand",
       "[HKLM\\K]\n\"b\"=hex:01,ff\n\"n\"=hex(0):\n\"s\"=hex(1):61,62\n\"z\"=hex(1):61,00,62,00\n"
       "\"x\"=hex(2):25,00\n\"m\"=hex(7):61,00,00\n\"q\"=hex(b):01,00,00,00,00,00,00,00\n\"big\"=hex(ffffffff):7\n",
       {"create HKLM\\K", "set HKLM\\K|b|3|01 ff", "set HKLM\\K|n|0|", "set HKLM\\K|s|1|61 62",
        "set HKLM\\K|z|1|61 00 62 00", "set HKLM\\K|x|2|25 00", "set HKLM\\K|m|7|61 00 00",
        "set HKLM\\K|q|11|01 00 00 00 00 00 00 00", "set HKLM\\K|big|4294967295|07"}},
      {"continuation lines, blanks and comments",
       "; a comment\n\n  [HKLM\\K]  ; key\n\"b\" = hex:01,02,\\\n  03,04\n\t\"c\"=hex:\\\n  aa\n",
       {"create HKLM\\K", "set HKLM\\K|b|3|01 02 03 04", "set HKLM\\K|c|3|aa"}},
      {"repeated keys stay separate operations",
       "[HKLM\\K]\n\"a\"=\"1\"\n[HKLM\\k]\n\"b\"=\"2\"\n",
       {"create HKLM\\K", "set HKLM\\K|a|1|31 00", "create HKLM\\k", "set HKLM\\k|b|1|32 00"}},
      {"CR LF line ends", "[HKLM\\K]\r\n\"a\"=\"1\"\r\n", {"create HKLM\\K", "set HKLM\\K|a|1|31 00"}},
      {"bytes above 0x7F in a REGEDIT4 file",
       "[HKLM\\caf\xE9]\n\"\xE9\"=\"\xFF\"\n",
       {"create HKLM\\caf\xE9", "set HKLM\\caf\xE9|\xE9|1|ff 00"}},
  };
  for (const Construct& construct : constructs) {
    SCOPED_TRACE(construct.title);
    const regfile::ParseResult result = Parse("REGEDIT4\n\n" + construct.body);
    EXPECT_FALSE(result.Error) << result.Error->Line << ": " << result.Error->Message;
    EXPECT_EQ(DescribeAll(result), construct.operations);
  }
}

TEST(RegFileTest, Version5TextAndWideStringDataBecomeAnsi) {
  // hex(1), hex(2) and hex(7) hold UTF-16LE here: converted, keeping an
  // embedded zero and the lack of a terminating one.
  const regfile::ParseResult result =
      Parse(Regedit5("[HKEY_LOCAL_MACHINE\\Soft\xC3\xA9]\r\n"
                     "\"n\xC3\xA4me\"=\"v\xC3\xA4lue \xE2\x82\xAC\"\r\n"
                     "\"sz\"=hex(1):61,00,00,00,62,00\r\n"
                     "\"ex\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                     "\"ms\"=hex(7):e9,00,00,00,00,00\r\n"
                     "\"bin\"=hex:61,00\r\n"
                     "\"d\"=dword:00000010\r\n"));
  ASSERT_FALSE(result.Error) << result.Error->Line << ": " << result.Error->Message;
  const std::vector<std::string> expected = {
      "create HKLM\\Soft\xE9",
      "set HKLM\\Soft\xE9|n\xE4me|1|76 e4 6c 75 65 20 3f 00",
      "set HKLM\\Soft\xE9|sz|1|61 00 62",
      "set HKLM\\Soft\xE9|ex|2|25 41 25 00",
      "set HKLM\\Soft\xE9|ms|7|e9 00 00",
      "set HKLM\\Soft\xE9|bin|3|61 00",
      "set HKLM\\Soft\xE9|d|4|10 00 00 00",
  };
  EXPECT_EQ(DescribeAll(result), expected);
  EXPECT_EQ(result.Operations[2].Line, 5);
}

TEST(RegFileTest, MalformedInputGivesTheFirstErrorAndItsLine) {
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const std::string h = "REGEDIT4\n\n";
  const Case cases[] = {
      {"", 1, "not a registry export"},
      {"REGEDIT5\n", 1, "not a registry export"},
      {"\xFF\xFE"
       "R",
       1, "middle of a UTF-16 character"},
      {h + "[HKLM\\K\n", 3, "closing bracket"},
      {h + "[HKLM\\K] x\n", 3, "after the key line"},
      {h + "[HKEY_NOWHERE\\K]\n", 3, "unknown root key 'HKEY_NOWHERE'"},
      {h + "[]\n", 3, "unknown root key"},
      {h + "[-HKLM]\n", 3, "root key cannot be deleted"},
      {h + "\"a\"=\"b\"\n", 3, "outside a key"},
      {h + "[-HKLM\\K]\n\"a\"=\"b\"\n", 4, "being deleted"},
      {h + "[HKLM\\K]\n\n\"a\"=\"b\n", 5, "unterminated string"},
      {h + "[HKLM\\K]\n\"a\\\"=\"b\"\n", 4, "'=' expected"},
      {h + "[HKLM\\K]\n\"a\"\n", 4, "'=' expected"},
      {h + "[HKLM\\K]\n\"a\"=what\n", 4, "unrecognised value data"},
      {h + "[HKLM\\K]\n\"a\"=dword:\n", 4, "hexadecimal dword value expected"},
      {h + "[HKLM\\K]\n\"a\"=dword:123456789\n", 4, "out of range"},
      {h + "[HKLM\\K]\n\"a\"=dword:1 2\n", 4, "after the value"},
      {h + "[HKLM\\K]\n\"a\"=hex(1:00\n", 4, "'):' expected"},
      {h + "[HKLM\\K]\n\"a\"=hex():00\n", 4, "type value expected"},
      {h + "[HKLM\\K]\n\"a\"=hex:zz\n", 4, "invalid hexadecimal byte"},
      {h + "[HKLM\\K]\n\"a\"=hex:0g\n", 4, "',' expected"},
      {h + "[HKLM\\K]\n\"a\"=hex:123\n", 4, "invalid hexadecimal byte"},
      {h + "[HKLM\\K]\n\"a\"=hex:01,\\\n  02 03\n", 5, "',' expected"},
      {h + "[HKLM\\K]\n\"a\"=\"b\" c\n", 4, "after the value"},
      {h + "[HKLM\\K]\njunk\n", 4, "unrecognised line"},
      {h + "[HKLM\\K]\n\"a\"=\"b\"\n@junk\n", 5, "'=' expected"},
      {h + std::string("[HKLM\\K\0L]\n", 11), 3, "zero character in a name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const regfile::ParseResult result = Parse(c.text);
    ASSERT_TRUE(result.Error);
    EXPECT_EQ(result.Error->Line, c.line);
    EXPECT_NE(result.Error->Message.find(c.message), std::string::npos) << result.Error->Message;
  }
}

TEST(RegFileTest, MalformedVersion5InputNamesItsLine) {
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {Regedit5("[HKLM\\K]\r\n\"s\"=hex(1):61,00,62\r\n"), 4, "odd number of bytes"},
      {Regedit5("[HKLM\\K]\r\n\"s\"=hex(2):00,d8\r\n"), 4, "not valid UTF-16"},
      {Regedit5("[HKLM\\K]\r\n") + std::string("\"\0\0\xD8\"\0=\0\"\0\"\0\r\0\n\0", 16), 4, "not valid UTF-16"},
  };
  for (const Case& c : cases) {
    const regfile::ParseResult result = Parse(c.text);
    ASSERT_TRUE(result.Error);
    EXPECT_EQ(result.Error->Line, c.line);
    EXPECT_NE(result.Error->Message.find(c.message), std::string::npos) << result.Error->Message;
  }
}

TEST(RegFileTest, OperationsBeforeAnErrorAreKept) {
  const regfile::ParseResult result = Parse("REGEDIT4\n[HKLM\\A]\n\"v\"=\"1\"\n[HKLM\\B\n");
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(result.Error->Line, 4);
  EXPECT_EQ(DescribeAll(result), (std::vector<std::string>{"create HKLM\\A", "set HKLM\\A|v|1|31 00"}));
}

}  // namespace
