#include "platform/export/reg_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/reg_file_operations.h"
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
    EXPECT_TRUE(result.Skipped.empty()) << result.Skipped[0].Line << ": " << result.Skipped[0].Message;
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

// Each line that cannot be parsed is skipped with one message naming its
// line, and the file is read on: the key line that follows still counts.
TEST(RegFileTest, ALineThatCannotBeParsedIsSkippedAndTheRestRead) {
  struct Case {
    std::string body;  // after the header and a key line [HKLM\K] on line 3
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"\"a\"=\"b\n", 4, "unterminated string"},
      {"\"a\\\"=\"b\"\n", 4, "'=' expected"},
      {"\"a\"\n", 4, "'=' expected"},
      {"\"a\"=what\n", 4, "unrecognised value data 'what'"},
      {"\"a\"=dword:\n", 4, "hexadecimal dword value expected"},
      {"\"a\"=dword:123456789\n", 4, "out of range"},
      {"\"a\"=dword:1 2\n", 4, "after the value"},
      {"\"a\"=hex(1:00\n", 4, "'):' expected"},
      {"\"a\"=hex():00\n", 4, "type value expected"},
      {"\"a\"=hex:zz\n", 4, "invalid hexadecimal byte"},
      {"\"a\"=hex:0g\n", 4, "',' expected"},
      {"\"a\"=hex:123\n", 4, "invalid hexadecimal byte"},
      {"\"a\"=hex:01,\\\n  02 03\n", 5, "',' expected"},
      {"\"a\"=hex:zz,\\\n  02,03\n", 4, "invalid hexadecimal byte"},  // with its continuation line
      {"\"a\"=\"b\"#c\n", 4, "unexpected text after the value"},
      {"\"a\"=\"b\" \\\n\"swallowed\"=\"x\"\n", 4, "after the value"},  // a continuation too
      {"junk\n", 4, "unrecognised line 'junk'"},
      {"@junk\n", 4, "'=' expected"},
      {std::string("\"a\0\"=\"\"\n", 8), 4, "zero character in a name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    const regfile::ParseResult result =
        Parse("REGEDIT4\n\n[HKLM\\K]\n" + c.body + "\"v\"=\"1\"\n[HKLM\\Next]\n\"w\"=\"2\"\n");
    EXPECT_FALSE(result.Error);
    ASSERT_EQ(result.Skipped.size(), 1u);
    EXPECT_EQ(result.Skipped[0].Line, c.line);
    EXPECT_NE(result.Skipped[0].Message.find(c.message), std::string::npos) << result.Skipped[0].Message;
    EXPECT_NE(result.Skipped[0].Message.find("; the line is skipped"), std::string::npos);
    EXPECT_EQ(DescribeAll(result), (std::vector<std::string>{"create HKLM\\K", "set HKLM\\K|v|1|31 00",
                                                             "create HKLM\\Next", "set HKLM\\Next|w|1|32 00"}));
  }
}

// A key line that cannot be parsed takes the values below it along: they
// would otherwise land in the key above.
TEST(RegFileTest, AKeyLineThatCannotBeParsedIsSkippedWithItsValues) {
  struct Case {
    std::string key_line;
    const char* message;
  };
  const Case cases[] = {
      {"[HKLM\\B", "closing bracket"},
      {"[HKLM\\B] x", "after the key line"},
      {"[HKEY_NOWHERE\\B]", "unknown root key 'HKEY_NOWHERE'"},
      {"[]", "unknown root key"},
      {"[-HKLM]", "root key cannot be deleted"},
      {"[HKLM\\\\B]", "cannot start with a backslash"},
      {std::string("[HKLM\\B\0C]", 10), "zero character in a name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key_line);
    const regfile::ParseResult result =
        Parse("REGEDIT4\n[HKLM\\A]\n\"a\"=\"1\"\n" + c.key_line + "\n\"b\"=\"2\"\njunk\n[HKLM\\C]\n\"c\"=\"3\"\n");
    ASSERT_EQ(result.Skipped.size(), 1u);
    EXPECT_EQ(result.Skipped[0].Line, 4);
    EXPECT_NE(result.Skipped[0].Message.find(c.message), std::string::npos) << result.Skipped[0].Message;
    EXPECT_NE(result.Skipped[0].Message.find("the values below it are skipped"), std::string::npos);
    EXPECT_EQ(DescribeAll(result), (std::vector<std::string>{"create HKLM\\A", "set HKLM\\A|a|1|31 00",
                                                             "create HKLM\\C", "set HKLM\\C|c|1|33 00"}));
  }
}

TEST(RegFileTest, FilesAsWindowsImportsThem) {
  struct Case {
    const char* title;
    std::string text;
    std::vector<std::string> operations;
    std::vector<int> skipped_lines;
  };
  const Case cases[] = {
      {"a batch script before the first key",
       "REGEDIT4\r\n@echo off\r\nreg import %0\r\n\"stray\"=\"value\"\r\ngoto :eof\r\n\r\n[HKLM\\K]\r\n\"a\"=\"1\"\r\n",
       {"create HKLM\\K", "set HKLM\\K|a|1|31 00"},
       {2, 3, 4, 5}},
      {"values below a deleted key are dropped up to the next key line, silently",
       "REGEDIT4\n[-HKLM\\Old]\n\"a\"=\"1\"\njunk\n\"b\"=hex:01,\\\n  02\n[HKLM\\New]\n\"c\"=\"3\"\n",
       {"delete HKLM\\Old", "create HKLM\\New", "set HKLM\\New|c|1|33 00"},
       {}},
      {"a key line ends a list of bytes that a backslash would continue",
       "REGEDIT4\n[HKLM\\A]\n\"b\"=hex:01,02,\\\n[HKLM\\B]\n\"c\"=\"3\"\n",
       {"create HKLM\\A", "set HKLM\\A|b|3|01 02", "create HKLM\\B", "set HKLM\\B|c|1|33 00"},
       {}},
      {"a comment after a continuing backslash, and one after the list",
       "REGEDIT4\n[HKLM\\A]\n\"b\"=hex:01,\\ ; more: ab\n  02 ; cd\n",
       {"create HKLM\\A", "set HKLM\\A|b|3|01 02"},
       {}},
      {"a comment line that ends with a backslash continues nothing",
       "REGEDIT4\n[HKLM\\A]\n; C:\\dir\\\n\"b\"=\"2\"\n",
       {"create HKLM\\A", "set HKLM\\A|b|1|32 00"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const regfile::ParseResult result = Parse(c.text);
    EXPECT_FALSE(result.Error);
    EXPECT_EQ(DescribeAll(result), c.operations);
    std::vector<int> lines;
    for (const regfile::ParseError& skipped : result.Skipped) lines.push_back(skipped.Line);
    EXPECT_EQ(lines, c.skipped_lines);
  }
}

TEST(RegFileTest, AFileWithoutAnExportHeaderIsRefusedWhole) {
  for (const std::string& text : {std::string(), std::string("REGEDIT5\n[HKLM\\K]\n"),
                                  std::string("\xFF\xFE"
                                              "R"),
                                  std::string("@echo off\nREGEDIT4\n[HKLM\\K]\n")}) {
    const regfile::ParseResult result = Parse(text);
    ASSERT_TRUE(result.Error);
    EXPECT_EQ(result.Error->Line, 1);
    EXPECT_NE(result.Error->Message.find("not a registry export"), std::string::npos);
    EXPECT_TRUE(result.Operations.empty());
  }
}

TEST(RegFileTest, Version5TextThatTheReaderCannotTakeIsSkipped) {
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {Regedit5("[HKLM\\K]\r\n\"s\"=hex(1):61,00,62\r\n"), 4, "odd number of bytes"},
      {Regedit5("[HKLM\\K]\r\n\"s\"=hex(2):00,d8\r\n"), 4, "not valid UTF-16"},
      {Regedit5("[HKLM\\K]\r\n") + std::string("\"\0\0\xD8\"\0=\0\"\0\"\0\r\0\n\0", 16), 4, "not valid UTF-16"},
      {Regedit5("[HKLM\\K]\r\n") + "x", 4, "middle of a UTF-16 character"},
  };
  for (const Case& c : cases) {
    const regfile::ParseResult result = Parse(c.text);
    EXPECT_FALSE(result.Error);
    ASSERT_EQ(result.Skipped.size(), 1u);
    EXPECT_EQ(result.Skipped[0].Line, c.line);
    EXPECT_NE(result.Skipped[0].Message.find(c.message), std::string::npos) << result.Skipped[0].Message;
    EXPECT_EQ(DescribeAll(result), std::vector<std::string>{"create HKLM\\K"});
  }
}

}  // namespace
