// Text of a Windows code page decoded to UTF-16: the code page of the
// machine that wrote a REGEDIT4 export. Any encoding that iconv knows can
// be used. A byte that is not valid in the code page stands for the
// character of the same number, as Windows decodes the bytes that code
// page 1252 leaves undefined.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace regfile {

class CodePageDecoder {
 public:
  // The iconv name of the code page that REGEDIT4 files are read in
  // unless the LAN says otherwise.
  static constexpr const char* kDefaultEncoding = "CP1252";

  // The iconv name of Windows code page `code_page` ("CP1252", "UTF-8").
  static std::string EncodingName(unsigned code_page);

  // The decoder of an encoding by its iconv name, shared by every user;
  // null when iconv does not know it.
  static std::shared_ptr<const CodePageDecoder> For(const std::string& encoding);

  ~CodePageDecoder();
  CodePageDecoder(const CodePageDecoder&) = delete;
  CodePageDecoder& operator=(const CodePageDecoder&) = delete;

  // True when every character is one byte: Unit decodes it.
  bool SingleByte() const { return single_byte_; }
  char16_t Unit(unsigned char byte) const { return table_[byte]; }

  // True when the text can be parsed byte by byte: every byte below 0x80
  // is the ASCII character, and none is part of a longer character (as
  // in UTF-8, unlike code page 932, where 0x5C may end a character that
  // starts with a byte above 0x7F). Other text is decoded before it is
  // parsed.
  bool ParsesAsBytes() const { return parses_as_bytes_; }

  // Appends the UTF-16 units of `bytes` to `out`; allocates only when
  // `out` has no room left.
  void Append(std::string_view bytes, std::u16string& out) const;

  // Adds to `units` the number of UTF-16 units that Append gives for a
  // text that comes a piece at a time, keeping none of them: `first` for
  // the text's first piece, `more` while pieces follow. A character that
  // the end of a piece cuts short is left for the next piece: answers the
  // number of bytes taken.
  std::size_t CountUnits(std::string_view piece, bool first, bool more, std::uint64_t& units) const;

 private:
  enum class Stop { kEnd, kNoRoom, kCutShort };

  explicit CodePageDecoder(void* converter);

  // Decodes the start of `bytes` through iconv into out[0, room), taking
  // what it decodes off `bytes`, and answers the units written in
  // `written`: up to the end, until the room is used up, or (with `more`)
  // at a character that the end cuts short.
  Stop Decode(std::string_view& bytes, bool more, char16_t* out, std::size_t room, std::size_t& written) const;

  void* converter_;  // iconv_t, for code pages with characters of several bytes
  bool single_byte_ = true;
  bool parses_as_bytes_ = true;
  std::array<char16_t, 256> table_{};
};

}  // namespace regfile
