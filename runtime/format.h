// The formatter behind every error message: %s inserts a text unchanged,
// %d a signed decimal number, %x an unsigned number in upper-case
// hexadecimal without leading zeros, %p an address in upper-case
// hexadecimal with leading zeros (8 digits for a 32-bit value, the width of
// a pointer for a pointer), and %% a percent sign.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "runtime/text.h"

class FormatArg {
 public:
  enum class Kind { Text, Signed, Unsigned, Pointer };

  FormatArg(std::string_view text) : kind_(Kind::Text), text_(text) {}
  FormatArg(const char* text) : kind_(Kind::Text), text_(text) {}
  FormatArg(const Text& text) : kind_(Kind::Text), text_(text) {}
  FormatArg(const void* address) : kind_(Kind::Pointer), unsigned_(reinterpret_cast<std::uintptr_t>(address)) {}
  template <std::signed_integral T>
  FormatArg(T value) : kind_(Kind::Signed), signed_(value) {}
  template <std::unsigned_integral T>
  FormatArg(T value) : kind_(Kind::Unsigned), unsigned_(value) {}

  Kind ArgKind() const { return kind_; }
  std::string_view TextValue() const { return text_; }
  std::int64_t SignedValue() const { return signed_; }
  std::uint64_t UnsignedValue() const { return unsigned_; }

 private:
  Kind kind_;
  std::string_view text_;
  std::int64_t signed_ = 0;
  std::uint64_t unsigned_ = 0;
};

// Fills the placeholders of format with args, in order. A placeholder
// without an argument, or with an argument of the wrong kind, is left out.
Text FormatText(std::string_view format, std::initializer_list<FormatArg> args);
