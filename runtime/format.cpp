#include "runtime/format.h"

namespace {

void AppendHex(Text& out, std::uint64_t value, int minimum_digits) {
  char digits[16];
  int count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int i = count; i < minimum_digits; ++i) out.push_back('0');
  while (count > 0) out.push_back(digits[--count]);
}

void AppendDecimal(Text& out, std::int64_t value) {
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) out.push_back('-');
  while (count > 0) out.push_back(digits[--count]);
}

// The bits of an integer argument as an unsigned 32-bit number; wider
// values keep all their bits.
std::uint64_t AsUnsigned(const FormatArg& arg) {
  if (arg.ArgKind() == FormatArg::Kind::Signed) {
    const std::int64_t value = arg.SignedValue();
    if (value >= INT32_MIN && value <= INT32_MAX) return static_cast<std::uint32_t>(value);
    return static_cast<std::uint64_t>(value);
  }
  return arg.UnsignedValue();
}

void AppendArgument(Text& out, char conversion, const FormatArg& arg) {
  const FormatArg::Kind kind = arg.ArgKind();
  const bool is_integer = kind == FormatArg::Kind::Signed || kind == FormatArg::Kind::Unsigned;
  switch (conversion) {
    case 's':
      if (kind == FormatArg::Kind::Text) out.append(arg.TextValue());
      break;
    case 'd':
      if (kind == FormatArg::Kind::Signed) AppendDecimal(out, arg.SignedValue());
      if (kind == FormatArg::Kind::Unsigned) AppendDecimal(out, static_cast<std::int64_t>(arg.UnsignedValue()));
      break;
    case 'x':
      if (is_integer) AppendHex(out, AsUnsigned(arg), 1);
      break;
    case 'p':
      if (kind == FormatArg::Kind::Pointer) AppendHex(out, arg.UnsignedValue(), 2 * sizeof(void*));
      if (is_integer) AppendHex(out, AsUnsigned(arg), 8);
      break;
  }
}

}  // namespace

Text FormatText(std::string_view format, std::initializer_list<FormatArg> args) {
  Text out;
  out.reserve(format.size() + 32);
  const FormatArg* next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%' || i + 1 == format.size()) {
      out.push_back(c);
      continue;
    }
    const char conversion = format[++i];
    if (conversion == '%') {
      out.push_back('%');
    } else if (conversion == 's' || conversion == 'd' || conversion == 'x' || conversion == 'p') {
      if (next != args.end()) AppendArgument(out, conversion, *next++);
    } else {
      out.push_back('%');
      out.push_back(conversion);
    }
  }
  return out;
}
