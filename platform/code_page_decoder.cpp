#include "platform/code_page_decoder.h"

#include <iconv.h>

#include <cerrno>
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

// Every byte is decoded alone: when each gives one unit or none at all
// (an undefined byte), the code page is single-byte and the table holds
// it; a byte that starts a longer character makes it multi-byte.
CodePageDecoder::CodePageDecoder(void* converter) : converter_(converter) {
  for (int byte = 0; byte < 256; ++byte) {
    char in = static_cast<char>(byte);
    char16_t out[4] = {};
    char* in_cursor = &in;
    auto* out_cursor = reinterpret_cast<char*>(out);
    std::size_t in_left = 1;
    std::size_t out_left = sizeof out;
    iconv(Handle(converter_), nullptr, nullptr, nullptr, nullptr);
    const std::size_t status = iconv(Handle(converter_), &in_cursor, &in_left, &out_cursor, &out_left);
    const std::size_t units = (sizeof out - out_left) / 2;
    if (status != static_cast<std::size_t>(-1) && units == 1) {
      table_[static_cast<std::size_t>(byte)] = out[0];
      continue;
    }
    table_[static_cast<std::size_t>(byte)] = static_cast<char16_t>(byte);
    if (status == static_cast<std::size_t>(-1) && errno == EILSEQ) continue;
    single_byte_ = false;
  }
}

CodePageDecoder::~CodePageDecoder() { iconv_close(Handle(converter_)); }

void CodePageDecoder::Append(std::string_view bytes, std::u16string& out) const {
  std::size_t length = out.size();
  if (single_byte_) {
    out.resize(length + bytes.size());
    for (char byte : bytes) out[length++] = table_[static_cast<unsigned char>(byte)];
    return;
  }
  // A character takes at least as many bytes as UTF-16 units in every
  // code page but a few stateful ones; the room grows for those.
  out.resize(length + bytes.size() + 2);
  char* in_cursor = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  iconv(Handle(converter_), nullptr, nullptr, nullptr, nullptr);
  while (in_left > 0) {
    auto* out_cursor = reinterpret_cast<char*>(out.data() + length);
    std::size_t out_left = (out.size() - length) * 2;
    const std::size_t status = iconv(Handle(converter_), &in_cursor, &in_left, &out_cursor, &out_left);
    length = static_cast<std::size_t>(reinterpret_cast<char16_t*>(out_cursor) - out.data());
    if (status != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() + in_left + 2);
      continue;
    }
    // A byte that starts no valid character stands for itself.
    if (length == out.size()) out.resize(out.size() + in_left + 2);
    out[length++] = static_cast<unsigned char>(*in_cursor);
    ++in_cursor;
    --in_left;
    iconv(Handle(converter_), nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(length);
}

}  // namespace regfile
