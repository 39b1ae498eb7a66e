#include "platform/smb/netbios_name_query.h"

#include <gtest/gtest.h>

namespace smb {
namespace {

// A reply to `query` as a name server gives it: flags, counts, the name,
// type and class, TTL, length, then the record's flags and address.
std::string Reply(std::string query, std::uint16_t flags, std::string_view address) {
  query[2] = static_cast<char>(flags >> 8);
  query[3] = static_cast<char>(flags & 0xFF);
  query[4] = query[5] = 0;  // no question
  query[7] = 1;             // one answer
  query += std::string("\0\0\x0e\x10\0\x06\0\0", 8);
  query += address;
  return query;
}

TEST(NetbiosNameQuery, TheQueryAndItsAnswers) {
  const std::string query = NetbiosNameQuery("atlas", 0x1234);
  ASSERT_EQ(query.size(), 50U);
  EXPECT_EQ(query.substr(0, 4), std::string("\x12\x34\x01\x10", 4));
  // ATLAS, padded with blanks to 15 bytes, then the server type 0x20.
  EXPECT_EQ(query.substr(12, 34),
            "\x20"
            "EBFEEMEBFDCACACACACACACACACACACA" +
                std::string("\0", 1));
  EXPECT_EQ(query.substr(46), std::string("\0\x20\0\x01", 4));
  for (const char* refused : {"", "SIXTEEN-LETTERS!", "a.example", "tab\tname"}) {
    EXPECT_EQ(NetbiosNameQuery(refused, 1), "") << refused;
  }

  EXPECT_EQ(NetbiosQueryAnswer(Reply(query, 0x8500, "\x0a\x4d\x01\x07"), 0x1234), "10.77.1.7");
  EXPECT_EQ(NetbiosQueryAnswer(Reply(query, 0x8500, "\x0a\x4d\x01\x07"), 0x1235), std::nullopt);  // another query's
  EXPECT_EQ(NetbiosQueryAnswer(Reply(query, 0x8503, "\x0a\x4d\x01\x07"), 0x1234), std::nullopt);  // no such name
  EXPECT_EQ(NetbiosQueryAnswer(query, 0x1234), std::nullopt);                                     // a query
  EXPECT_EQ(NetbiosQueryAnswer(Reply(query, 0x8500, "\x0a\x4d").substr(0, 60), 0x1234), std::nullopt);
}

}  // namespace
}  // namespace smb
