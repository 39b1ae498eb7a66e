#include "runtime/os_faults.h"

#include <gtest/gtest.h>

#include "runtime/error_classes.h"

namespace {

TEST(OsFaultsTest, EveryFaultCodeHasItsClassMessageAndFallbackNumber) {
  struct Case {
    DWORD code;
    const char* class_name;
    const char* message;
    std::int32_t fallback;
  };
  const Case cases[] = {
      {0xC000008C, "ERangeError", "Range check error", 201},
      {0xC000008D, "EUnderflow", "Floating point underflow", 206},
      {0xC000008E, "EZeroDivide", "Floating point division by zero", 200},
      {0xC000008F, "EInvalidOp", "Invalid floating point operation", 207},
      {0xC0000090, "EInvalidOp", "Invalid floating point operation", 207},
      {0xC0000091, "EOverflow", "Floating point overflow", 205},
      {0xC0000092, "EInvalidOp", "Invalid floating point operation", 207},
      {0xC0000093, "EUnderflow", "Floating point underflow", 206},
      {0xC0000094, "EDivByZero", "Division by zero", 200},
      {0xC0000095, "EIntOverflow", "Integer overflow", 215},
      {0xC0000096, "EPrivilege", "Privileged instruction", 218},
      {0xC00000FD, "EStackOverflow", "Stack overflow", 202},
      {0xC000013A, "EControlC", "Control-C hit", 217},
      {0xC000001D, "EExternalException", "External exception C000001D", 255},
      {0x80000002, "EExternalException", "External exception 80000002", 255},
      {0x00001234, "EExternalException", "External exception 1234", 255},
  };
  InstallErrorSupport();
  for (const Case& c : cases) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = c.code;
    const std::unique_ptr<Exception> error = OsFaultToException(record);
    EXPECT_STREQ(error->ClassName(), c.class_name) << std::hex << c.code;
    EXPECT_EQ(error->MessageText, c.message);
    EXPECT_EQ(RuntimeErrorNumber(OsFaultKind(c.code)), c.fallback);
    // Every fault error carries the platform's record.
    const auto* external = dynamic_cast<const EExternal*>(error.get());
    ASSERT_NE(external, nullptr);
    EXPECT_EQ(external->OsRecord.ExceptionCode, c.code);
  }
  RemoveErrorSupport();
}

TEST(OsFaultsTest, AnAccessViolationNamesTheAccessItsAddressesAndTheModule) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.NumberParameters = 2;
  record.ExceptionInformation[1] = 0x1234;
  const std::string target = FormatText("%p", {reinterpret_cast<const void*>(std::uintptr_t{0x1234})});

  // An instruction outside every module: no module in the message.
  record.ExceptionAddress = reinterpret_cast<PVOID>(std::uintptr_t{0x10});
  EXPECT_EQ(DescribeAccessViolation(record),
            FormatText("Access violation at address %p. Read of address ", {record.ExceptionAddress}) + target);
  // A write (1) and an execution (8) both count as not a read.
  for (ULONG_PTR access : {1u, 8u}) {
    record.ExceptionInformation[0] = access;
    EXPECT_NE(DescribeAccessViolation(record).find(". Write of address " + target), std::string::npos);
  }
  // An instruction of this test program: its file name, without directory.
  record.ExceptionAddress = reinterpret_cast<PVOID>(&DescribeAccessViolation);
  const Text message = DescribeAccessViolation(record);
  EXPECT_NE(message.find(" in module 'kestrova_unit_tests'. Write of address " + target), std::string::npos) << message;
}

}  // namespace
