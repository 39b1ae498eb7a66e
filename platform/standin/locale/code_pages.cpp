// Code pages of the stand-in: GetACP, GetOEMCP and GetCPInfo, and the
// conversions between code pages.
#include "platform/standin/locale/code_pages.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/lan/utf16_text.h"
#include "platform/standin/console/host_locale.h"
#include "platform/standin/locale/locale_overrides.h"

namespace {

// An iconv conversion, closed when it goes out of scope.
class Converter {
 public:
  Converter(const std::string& from, const std::string& to) : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (valid()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

struct CodePageFacts {
  UINT max_char_size = 1;
  std::array<bool, 256> lead_byte{};
};

// A byte is a lead byte when iconv takes it alone as the start of an
// incomplete character; UTF-8 has none in the Windows sense.
CodePageFacts ProbeCodePage(UINT code_page) {
  CodePageFacts facts;
  if (code_page == CP_UTF8) {
    facts.max_char_size = 4;
    return facts;
  }
  Converter converter(standin::IconvCodePageName(code_page), "UTF-16LE");
  if (!converter.valid()) return facts;
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8];
    char* in_cursor = in;
    char* out_cursor = out;
    std::size_t in_left = 1;
    std::size_t out_left = sizeof out;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter.get(), &in_cursor, &in_left, &out_cursor, &out_left) == static_cast<std::size_t>(-1) &&
        errno == EINVAL) {
      facts.lead_byte[static_cast<std::size_t>(byte)] = true;
      facts.max_char_size = 2;
    }
  }
  return facts;
}

const CodePageFacts& FactsOf(UINT code_page) {
  static std::mutex guard;
  static std::map<UINT, CodePageFacts> known;
  std::lock_guard lock(guard);
  auto found = known.find(code_page);
  if (found == known.end()) found = known.emplace(code_page, ProbeCodePage(code_page)).first;
  return found->second;
}

bool IsKnownCodePage(UINT code_page) {
  if (code_page == CP_UTF8) return true;
  Converter converter(standin::IconvCodePageName(code_page), "UTF-16LE");
  return converter.valid();
}

UINT ResolveCodePage(UINT code_page) {
  if (code_page == CP_ACP) return GetACP();
  if (code_page == CP_OEMCP) return GetOEMCP();
  return code_page;
}

}  // namespace

namespace standin {

std::string IconvCodePageName(UINT code_page) {
  if (code_page == CP_UTF8) return "UTF-8";
  return "CP" + std::to_string(code_page);
}

// Runs bytes through one conversion; nullopt when the source is not valid
// or a character cannot be converted.
static std::optional<std::string> RunConversion(iconv_t handle, std::string_view bytes) {
  std::string input(bytes);
  std::string result;
  char* in_cursor = input.data();
  std::size_t in_left = input.size();
  char chunk[256];
  iconv(handle, nullptr, nullptr, nullptr, nullptr);
  for (;;) {
    char* out_cursor = chunk;
    std::size_t out_left = sizeof chunk;
    const bool flushing = in_left == 0;
    const std::size_t status = flushing ? iconv(handle, nullptr, nullptr, &out_cursor, &out_left)
                                        : iconv(handle, &in_cursor, &in_left, &out_cursor, &out_left);
    result.append(chunk, static_cast<std::size_t>(out_cursor - chunk));
    if (status == static_cast<std::size_t>(-1) && errno != E2BIG) return std::nullopt;
    if (flushing && status != static_cast<std::size_t>(-1)) return result;
  }
}

std::optional<std::string> ConvertEncoding(std::string_view bytes, const std::string& from, const std::string& to,
                                           char replacement) {
  // Decode the whole source first, then encode character by character,
  // so that a character the target lacks costs only itself.
  Converter decoder(from, "UTF-32LE");
  Converter encoder("UTF-32LE", to);
  if (!decoder.valid() || !encoder.valid()) return std::nullopt;
  const std::optional<std::string> characters = RunConversion(decoder.get(), bytes);
  if (!characters) return std::nullopt;
  std::string result;
  for (std::size_t i = 0; i + 4 <= characters->size(); i += 4) {
    const std::optional<std::string> encoded = RunConversion(encoder.get(), std::string_view(*characters).substr(i, 4));
    if (encoded) {
      result += *encoded;
    } else {
      result.push_back(replacement);
    }
  }
  return result;
}

bool IsLeadByteOf(UINT code_page, BYTE byte) { return FactsOf(ResolveCodePage(code_page)).lead_byte[byte]; }

}  // namespace standin

UINT WINAPI GetACP() {
  if (standin::LocaleOverrides().AnsiCodePage) return *standin::LocaleOverrides().AnsiCodePage;
  return standin::HostLocaleIsUtf8() ? CP_UTF8 : 1252;
}

UINT WINAPI GetOEMCP() {
  if (standin::LocaleOverrides().OemCodePage) return *standin::LocaleOverrides().OemCodePage;
  return standin::HostLocaleIsUtf8() ? CP_UTF8 : 850;
}

BOOL WINAPI GetCPInfo(UINT CodePage, LPCPINFO lpCPInfo) {
  const UINT code_page = ResolveCodePage(CodePage);
  if (lpCPInfo == nullptr || !IsKnownCodePage(code_page)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const CodePageFacts& facts = FactsOf(code_page);
  *lpCPInfo = CPINFO{};
  lpCPInfo->MaxCharSize = facts.max_char_size;
  lpCPInfo->DefaultChar[0] = '?';
  // Lead bytes as ranges of pairs, ended by a pair of zeros.
  int pair = 0;
  for (int byte = 0; byte < 256 && pair + 1 < MAX_LEADBYTES - 1;) {
    if (!facts.lead_byte[static_cast<std::size_t>(byte)]) {
      ++byte;
      continue;
    }
    const int first = byte;
    while (byte < 256 && facts.lead_byte[static_cast<std::size_t>(byte)]) ++byte;
    lpCPInfo->LeadByte[pair++] = static_cast<BYTE>(first);
    lpCPInfo->LeadByte[pair++] = static_cast<BYTE>(byte - 1);
  }
  return TRUE;
}

namespace {

// Characters whose bytes AppendInCodePage remembers, at most: enough for
// the characters that a LAN's names use, and a bound on memory whatever
// text comes.
constexpr std::size_t kRememberedCharacters = 4096;

// The bytes of a character in a code page other than UTF-8, as iconv gives
// them (ConvertEncoding: '?' for a character that the code page lacks, one
// for each UTF-16 unit when the code page cannot be used). A conversion
// through iconv costs microseconds and text repeats few characters, so the
// bytes of each are remembered; they depend on nothing but the code page.
void AppendInCodePage(std::string& out, UINT code_page, char32_t character) {
  struct Remembered {
    std::optional<UINT> CodePage;
    std::unordered_map<char32_t, std::string> Bytes;
  };
  thread_local Remembered remembered;  // thread_local: kept apart per thread
  if (remembered.CodePage != code_page) {
    remembered.Bytes.clear();
    remembered.CodePage = code_page;
  }
  if (const auto found = remembered.Bytes.find(character); found != remembered.Bytes.end()) {
    out += found->second;
    return;
  }
  std::u16string units;
  lan::AppendUtf16(units, character);
  const std::string wide = lan::Utf16leBytes(units);
  std::string bytes = standin::ConvertEncoding(wide, "UTF-16LE", standin::IconvCodePageName(code_page))
                          .value_or(std::string(units.size(), '?'));
  out += bytes;
  if (remembered.Bytes.size() < kRememberedCharacters) remembered.Bytes.emplace(character, std::move(bytes));
}

}  // namespace

namespace standin {

std::optional<std::string> AnsiFromUtf16le(std::string_view utf16le) {
  return ConvertEncoding(utf16le, "UTF-16LE", IconvCodePageName(GetACP()));
}

std::u16string Utf16FromAnsi(std::string_view ansi) {
  std::u16string text;
  Utf16FromAnsi(ansi, text);
  return text;
}

std::string AnsiFromUtf16(std::u16string_view text) {
  std::string ansi;
  AnsiFromUtf16(text, ansi);
  return ansi;
}

void Utf16FromAnsi(std::string_view ansi, std::u16string& text) {
  // Each byte is copied as its unit first, and the bytes' high bits are
  // gathered on the way: for ASCII text (no high bit) that is the whole
  // conversion, in one pass that the compiler can vectorise.
  // The loops work on raw pointers: a store through the string itself
  // might change the string (as far as the compiler knows), which would
  // keep it from vectorising.
  text.resize(ansi.size());
  const char* bytes = ansi.data();
  char16_t* units = text.data();
  unsigned char high_bits = 0;
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    high_bits |= byte;
    units[i] = byte;
  }
  if ((high_bits & 0x80) == 0) return;
  text.clear();
  // A byte that does not decode (or ends the text half-way through a
  // character) stands for itself.
  const auto byte_unit = [](char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return static_cast<char16_t>(value < 0x80 ? value : 0xDC00 | value);
  };
  Converter decoder(IconvCodePageName(GetACP()), "UTF-16LE");
  if (!decoder.valid()) {
    for (char byte : ansi) text.push_back(byte_unit(byte));
    return;
  }
  std::string input(ansi);
  char* in_cursor = input.data();
  std::size_t in_left = input.size();
  while (in_left > 0) {
    char units[512];
    char* out_cursor = units;
    std::size_t out_left = sizeof units;
    const bool failed =
        iconv(decoder.get(), &in_cursor, &in_left, &out_cursor, &out_left) == static_cast<std::size_t>(-1);
    const int failure = failed ? errno : 0;
    for (const char* unit = units; unit + 1 < out_cursor; unit += 2) {
      text.push_back(
          static_cast<char16_t>(static_cast<unsigned char>(unit[0]) | static_cast<unsigned char>(unit[1]) << 8));
    }
    if (failed && failure != E2BIG) {
      text.push_back(byte_unit(*in_cursor));
      ++in_cursor;
      --in_left;
      iconv(decoder.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
}

void AnsiFromUtf16(std::u16string_view text, std::string& ansi) {
  // ASCII first, as in Utf16FromAnsi: a unit below 0x80 is its own byte.
  ansi.resize(text.size());
  const char16_t* units = text.data();
  char* bytes = ansi.data();
  char16_t high_bits = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    high_bits |= units[i];
    bytes[i] = static_cast<char>(units[i]);
  }
  if ((high_bits & 0xFF80) == 0) return;
  ansi.clear();
  // Under UTF-8 each character's bytes are written here: iconv gives the
  // same bytes, but far more slowly. Other code pages take each character
  // through iconv (AppendInCodePage).
  const UINT code_page = GetACP();
  const auto append = [&](char32_t character) {
    if (code_page == CP_UTF8) {
      lan::AppendUtf8(ansi, character);
    } else {
      AppendInCodePage(ansi, code_page, character);
    }
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      append(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (low && unit >= 0xDC80 && unit <= 0xDCFF) {
      ansi.push_back(static_cast<char>(unit & 0xFF));
    } else {
      append(high || low ? char16_t{0xFFFD} : unit);
    }
  }
}

void AnsiFromStringData(std::string_view utf16le, std::string& ansi) {
  // Each unit's low byte is copied first, and the bits that would make a
  // unit other than ASCII (the low byte's high bit, the whole high byte)
  // are gathered on the way; ASCII data need nothing more.
  const std::size_t unit_count = utf16le.size() / 2;
  ansi.resize(unit_count);
  const char* data = utf16le.data();
  char* bytes = ansi.data();  // a raw pointer, as in Utf16FromAnsi
  unsigned char other_bits = 0;
  for (std::size_t i = 0; i < unit_count; ++i) {
    const auto low = static_cast<unsigned char>(data[2 * i]);
    const auto high = static_cast<unsigned char>(data[2 * i + 1]);
    other_bits |= static_cast<unsigned char>((low & 0x80) | high);
    bytes[i] = static_cast<char>(low);
  }
  if (other_bits == 0 && utf16le.size() % 2 == 0) return;
  // Any other text goes through its units.
  AnsiFromUtf16(lan::Utf16FromUtf16le(utf16le), ansi);
}

}  // namespace standin
