#include "platform/export/code_page_decoder.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <map>
#include <mutex>

namespace regfile {
namespace {

iconv_t Handle(void* converter) { return static_cast<iconv_t>(converter); }

}  // namespace

std::string CodePageDecoder::EncodingName(unsigned code_page) {
  if (code_page == 65001) return "UTF-8";
  return "CP" + std::to_string(code_page);
}

std::shared_ptr<const CodePageDecoder> CodePageDecoder::For(const std::string& encoding) {
  static std::mutex guard;
  static std::map<std::string, std::shared_ptr<const CodePageDecoder>> known;
  std::lock_guard lock(guard);
  const auto found = known.find(encoding);
  if (found != known.end()) return found->second;
  const iconv_t converter = iconv_open("UTF-16LE", encoding.c_str());
  std::shared_ptr<const CodePageDecoder> decoder;
  if (converter != reinterpret_cast<iconv_t>(-1)) decoder.reset(new CodePageDecoder(converter));
  known.emplace(encoding, decoder);
  return decoder;
}

namespace {

// Decodes `length` bytes alone: the units they give, or -1 when they are
// not valid, -2 when they are the start of a longer character.
int DecodeAlone(iconv_t converter, const char* bytes, std::size_t length, char16_t& unit) {
  char16_t out[4] = {};
  char* in_cursor = const_cast<char*>(bytes);
  auto* out_cursor = reinterpret_cast<char*>(out);
  std::size_t in_left = length;
  std::size_t out_left = sizeof out;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  const std::size_t status = iconv(converter, &in_cursor, &in_left, &out_cursor, &out_left);
  if (status == static_cast<std::size_t>(-1)) return errno == EINVAL ? -2 : -1;
  unit = out[0];
  return static_cast<int>((sizeof out - out_left) / 2);
}

}  // namespace

// Every byte is decoded alone: when each gives one unit or none at all
// (an undefined byte), the code page is single-byte and the table holds
// it; a byte that starts a longer character makes it multi-byte.
CodePageDecoder::CodePageDecoder(void* converter) : converter_(converter) {
  std::array<bool, 256> lead{};
  for (int byte = 0; byte < 256; ++byte) {
    const char in = static_cast<char>(byte);
    char16_t unit = 0;
    const int units = DecodeAlone(Handle(converter_), &in, 1, unit);
    table_[static_cast<std::size_t>(byte)] = units == 1 ? unit : static_cast<char16_t>(byte);
    if (units == -2 || units > 1) {
      single_byte_ = false;
      lead[static_cast<std::size_t>(byte)] = units == -2;
    }
    if (byte < 0x80 && (units != 1 || unit != byte)) parses_as_bytes_ = false;
  }
  // A character that starts with a lead byte may not go on with an ASCII
  // byte.
  for (int first = 0x80; first < 256 && parses_as_bytes_; ++first) {
    if (!lead[static_cast<std::size_t>(first)]) continue;
    for (int second = 0; second < 0x80 && parses_as_bytes_; ++second) {
      const char in[2] = {static_cast<char>(first), static_cast<char>(second)};
      char16_t unit = 0;
      if (DecodeAlone(Handle(converter_), in, 2, unit) != -1) parses_as_bytes_ = false;
    }
  }
}

CodePageDecoder::~CodePageDecoder() { iconv_close(Handle(converter_)); }

void CodePageDecoder::Append(std::string_view bytes, std::u16string& out) const {
  std::size_t length = out.size();
  if (parses_as_bytes_) {
    // ASCII alone, the usual text: each byte is its character.
    unsigned any = 0;
    for (char byte : bytes) any |= static_cast<unsigned char>(byte);
    if (any < 0x80) {
      out.resize(length + bytes.size());
      char16_t* units = out.data() + length;
      for (std::size_t i = 0; i < bytes.size(); ++i) units[i] = static_cast<unsigned char>(bytes[i]);
      return;
    }
  }
  if (single_byte_) {
    out.resize(length + bytes.size());
    for (char byte : bytes) out[length++] = table_[static_cast<unsigned char>(byte)];
    return;
  }
  // A character takes at least as many bytes as UTF-16 units in every
  // code page but a few stateful ones; the room grows for those.
  out.resize(length + bytes.size() + 2);
  iconv(Handle(converter_), nullptr, nullptr, nullptr, nullptr);
  for (;;) {
    std::size_t written = 0;
    const Stop stop = Decode(bytes, false, out.data() + length, out.size() - length, written);
    length += written;
    if (stop == Stop::kEnd) break;
    out.resize(out.size() + bytes.size() + 2);
  }
  out.resize(length);
}

std::size_t CodePageDecoder::CountUnits(std::string_view piece, bool first, bool more, std::uint64_t& units) const {
  const std::size_t size = piece.size();
  if (first && !single_byte_) iconv(Handle(converter_), nullptr, nullptr, nullptr, nullptr);
  const auto ascii = [](char byte) { return static_cast<unsigned char>(byte) < 0x80; };
  if (single_byte_ || (parses_as_bytes_ && std::all_of(piece.begin(), piece.end(), ascii))) {
    units += size;
    return size;
  }
  char16_t scratch[1024];
  for (;;) {
    std::size_t written = 0;
    const Stop stop = Decode(piece, more, scratch, std::size(scratch), written);
    units += written;
    if (stop != Stop::kNoRoom) return size - piece.size();
  }
}

CodePageDecoder::Stop CodePageDecoder::Decode(std::string_view& bytes, bool more, char16_t* out, std::size_t room,
                                              std::size_t& written) const {
  char* in_cursor = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  auto* out_cursor = reinterpret_cast<char*>(out);
  std::size_t out_left = room * 2;
  Stop stop = Stop::kEnd;
  while (in_left > 0) {
    if (iconv(Handle(converter_), &in_cursor, &in_left, &out_cursor, &out_left) != static_cast<std::size_t>(-1)) {
      break;
    }
    if (errno == E2BIG || out_left < 2) {
      stop = Stop::kNoRoom;
      break;
    }
    if (errno == EINVAL && more) {
      stop = Stop::kCutShort;
      break;
    }
    // A byte that starts no valid character stands for itself.
    *reinterpret_cast<char16_t*>(out_cursor) = static_cast<unsigned char>(*in_cursor);
    out_cursor += 2;
    out_left -= 2;
    ++in_cursor;
    --in_left;
    iconv(Handle(converter_), nullptr, nullptr, nullptr, nullptr);
  }
  written = room - out_left / 2;
  bytes.remove_prefix(bytes.size() - in_left);
  return stop;
}

}  // namespace regfile
