// The root of the class tree and the base of every error. An error is
// raised at a code address, which travels with it to the failure report.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "runtime/format.h"
#include "runtime/text.h"

#if defined(__GNUC__)
#define KESTROVA_NOINLINE __attribute__((noinline))
#define KESTROVA_RETURN_ADDRESS() __builtin_return_address(0)
#else
#error "a compiler that reports return addresses is needed"
#endif

class TObject {
 public:
  virtual ~TObject() = default;
  // The class name as declared.
  virtual const char* ClassName() const { return "TObject"; }
};

class Exception : public TObject {
 public:
  explicit Exception(Text message) : MessageText(std::move(message)) {}
  Exception(std::string_view format, std::initializer_list<FormatArg> args) : MessageText(FormatText(format, args)) {}

  const char* ClassName() const override { return "Exception"; }
  // Throws a copy of this object as its most derived class.
  [[noreturn]] virtual void ThrowSelf() const { throw *this; }

  Text MessageText;
  std::int32_t HelpId = 0;
  // The code location right after the raising call, or the address
  // handed to RaiseAt.
  const void* RaiseAddress = nullptr;
};

// Declares an error class that adds nothing to its base but its name.
// (Class names cannot be parenthesised.)
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KESTROVA_ERROR_CLASS(Name, Base)                          \
  class Name : public Base {                                      \
   public:                                                        \
    using Base::Base;                                             \
    const char* ClassName() const override { return #Name; }      \
    [[noreturn]] void ThrowSelf() const override { throw *this; } \
  }
// NOLINTEND(bugprone-macro-parentheses)

// Raises error at the code location right after this call.
[[noreturn]] KESTROVA_NOINLINE void Raise(Exception&& error);

// Raises error at the given code address.
[[noreturn]] void RaiseAt(Exception& error, const void* address);
