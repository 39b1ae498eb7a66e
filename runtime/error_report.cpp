#include "runtime/error_report.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <typeinfo>

#include "platform/fault_trap.h"
#include "platform/windows_api.h"
#include "runtime/error_support.h"
#include "runtime/os_faults.h"
#include "runtime/output_failure.h"
#include "runtime/process.h"
#include "runtime/text_file.h"

namespace {

constexpr std::size_t kModulePathSize = 261;

// Appends to a fixed buffer, cutting what does not fit.
class ReportBuffer {
 public:
  ReportBuffer(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}

  void Append(std::string_view text) {
    for (char c : text) {
      if (length_ + 1 >= size_) break;
      buffer_[length_++] = c;
    }
    buffer_[length_] = '\0';
  }

  void AppendHex8(std::uint32_t value) {
    char digits[8];
    for (int i = 7; i >= 0; --i) {
      digits[i] = "0123456789ABCDEF"[value & 0xF];
      value >>= 4;
    }
    Append(std::string_view(digits, 8));
  }

  std::size_t Length() const { return length_; }

 private:
  char* buffer_;
  std::size_t size_;
  std::size_t length_ = 0;
};

// The part of a path after its last directory separator.
std::string_view FileNameOf(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

// The module that holds address, and address relative to it. An address
// in no module counts against the program's own file.
std::uint32_t LocateInModule(const void* address, char (&path)[kModulePathSize]) {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(address, &region, sizeof region) != 0 && region.State == MEM_COMMIT &&
      GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, kModulePathSize) != 0) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) -
                                      reinterpret_cast<std::uintptr_t>(region.AllocationBase));
  }
  if (GetModuleFileNameA(MainInstance, path, kModulePathSize) == 0) path[0] = '\0';
  if (address == nullptr) return 0;
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) - 0x1000);
}

// A processor fault becomes an error raised at the faulting instruction;
// before error support starts and after it ends, the fault ends the process
// with its runtime error number instead.
[[noreturn]] void OnPlatformFault(const EXCEPTION_RECORD& record) {
  if (!ErrorSupportInstalled()) {
    EndWithRuntimeError(RuntimeErrorNumber(OsFaultKind(record.ExceptionCode)), record.ExceptionAddress);
  }
  std::unique_ptr<Exception> error = OsFaultToException(record);
  RaiseAt(*error, record.ExceptionAddress);
}

// The declared name of the type of the error in flight, for errors that
// are not of the Exception tree.
Text ForeignClassName() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (type == nullptr) return "Exception";
  int status = 0;
  char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
  Text name = status == 0 && readable != nullptr ? Text(readable) : Text(type->name());
  std::free(readable);
  return name;
}

// An error that cannot be unwound to the top (it left a function that
// may not raise) is still reported, without the clean-up of the frames
// it could not pass.
[[noreturn]] void OnTerminate() {
  std::exception_ptr escaped = std::current_exception();
  if (escaped) TopLevelErrorHandler(escaped);
  EndWithRuntimeError(217, nullptr);
}

// Stands in for an error object of a class outside the Exception tree:
// its class name and an empty message.
class ForeignError : public Exception {
 public:
  explicit ForeignError(Text class_name) : Exception(Text()), class_name_(std::move(class_name)) {}
  const char* ClassName() const override { return class_name_.c_str(); }

 private:
  Text class_name_;
};

}  // namespace

void InstallTopLevelErrorHandler() {
  InstallFaultTrap(OnPlatformFault);
  std::set_terminate(OnTerminate);
}

void RemoveTopLevelErrorHandler() { RemoveFaultTrap(); }

std::size_t FormatErrorReport(const char* class_name, const Text& message, const void* address, char* buffer,
                              std::size_t size) {
  char path[kModulePathSize] = {};
  const std::uint32_t relative = LocateInModule(address, path);
  ReportBuffer report(buffer, size);
  report.Append("Exception ");
  report.Append(class_name);
  report.Append(" in module ");
  report.Append(FileNameOf(path).substr(0, 260));
  report.Append(" at ");
  report.AppendHex8(relative);
  report.Append(".\r\n");
  report.Append(message);
  if (!message.empty() && message.back() != '.') report.Append(".");
  report.Append("\r\n");
  return report.Length();
}

void ReportUnhandledError(const Exception& error, const void* address) {
  char report[1024];
  FormatErrorReport(error.ClassName(), error.MessageText, address, report, sizeof report);
  // The lines printed so far come out before the report; a failure to
  // write them is reported instead of this error.
  FlushOutput();
  CheckIo();
  if (ConsoleProcess) {
    CharToOemA(report, report);
    const HANDLE error_output = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    WriteFile(error_output, report, static_cast<DWORD>(std::strlen(report)), &written, nullptr);
    WriteFile(error_output, "\r\n", 2, &written, nullptr);
  }
  EndProcessWith(1);
}

void TopLevelErrorHandler(std::exception_ptr escaped) {
  // Reporting can itself raise (a failed flush of standard output); that
  // error is then reported in place of the first one.
  for (;;) {
    try {
      try {
        std::rethrow_exception(escaped);
      } catch (const Exception& error) {
        if (!ErrorSupportInstalled()) EndWithRuntimeError(217, error.RaiseAddress);
        ReportUnhandledError(error, error.RaiseAddress);
      } catch (const std::bad_alloc&) {
        if (!ErrorSupportInstalled()) EndWithRuntimeError(203, nullptr);
        ReportUnhandledError(PrebuiltOutOfMemory(), nullptr);
      } catch (...) {
        if (!ErrorSupportInstalled()) EndWithRuntimeError(217, nullptr);
        ReportUnhandledError(ForeignError(ForeignClassName()), nullptr);
      }
    } catch (...) {
      escaped = std::current_exception();
    }
  }
}
