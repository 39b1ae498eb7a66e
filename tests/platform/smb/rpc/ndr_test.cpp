// NDR as the winreg client writes and reads it: alignment counted from the
// stub's start, unique pointers, conformant varying arrays and counted
// strings, and a reader that refuses counts the bytes cannot back.
#include <gtest/gtest.h>

#include <vector>

#include "platform/smb/rpc/ndr_reader.h"
#include "platform/smb/rpc/ndr_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(NdrTest, WrittenValuesReadBackAtTheirAlignment) {
  for (const std::u16string& text : {std::u16string(), std::u16string(u"A"), std::u16string(u"Uninstall\\{x}")}) {
    rpc::NdrWriter writer;
    writer.U8(0x7F);
    writer.U32(0xDEADBEEF);  // three bytes of padding before it
    writer.CountedString(text, true);
    writer.U16(0x1234);
    writer.U32(42);  // padding after an odd count of characters
    rpc::ContextHandle handle;
    handle.Bytes.fill(0xCD);
    writer.Handle(handle);
    const Bytes stub = writer.Take();
    EXPECT_EQ(stub[1], 0);
    EXPECT_EQ(stub[4], 0xEF);

    rpc::NdrReader reader(stub);
    reader.U16();  // the U8 and a padding byte
    EXPECT_EQ(reader.U32(), 0xDEADBEEF);
    EXPECT_EQ(reader.CountedString(), text);
    EXPECT_EQ(reader.U16(), 0x1234);
    EXPECT_EQ(reader.U32(), 42u);
    EXPECT_EQ(reader.Handle(), handle);
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(reader.Remaining(), 0u);
  }
}

TEST(NdrTest, CountsThatTheBytesCannotBackFailTheReader) {
  struct Case {
    const char* Name;
    Bytes Stub;
    bool Fails;
  };
  const Case cases[] = {
      // Length, MaximumLength, referent, maximum, offset, actual, characters.
      {"whole", {4, 0, 4, 0, 1, 0, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 'b', 0}, false},
      {"one character short", {4, 0, 4, 0, 1, 0, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 'b'}, true},
      {"four billion characters claimed",
       {4, 0, 4, 0, 1, 0, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0},
       true},
      {"offset past the maximum", {4, 0, 4, 0, 1, 0, 2, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 'b', 0}, true},
      {"length above its maximum", {6, 0, 4, 0, 1, 0, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 'b', 0}, true},
      {"null buffer with a length", {4, 0, 4, 0, 0, 0, 0, 0}, true},
      {"null buffer, empty", {0, 0, 0, 0, 0, 0, 0, 0}, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.Name);
    rpc::NdrReader reader(test.Stub);
    reader.CountedString();
    EXPECT_EQ(reader.Failed(), test.Fails);
    if (test.Fails) {
      EXPECT_EQ(reader.U32(), 0u);  // a failed reader reads zeros
    }
  }
}

}  // namespace
