// The report of the lines of one registry export file that were skipped:
// one message per line, "FILE:LINE: what is wrong", up to a bound, then one
// closing message with the number of further lines skipped, so that a
// file full of faults does not flood the reader.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace regfile {

class SkippedLineReport {
 public:
  // Takes one message, without a line end.
  using Sink = std::function<void(const std::string& message)>;

  static constexpr int kMostMessages = 10;

  SkippedLineReport(std::string file_name, Sink sink);
  SkippedLineReport(const SkippedLineReport&) = delete;
  SkippedLineReport& operator=(const SkippedLineReport&) = delete;
  // Finishes the report.
  ~SkippedLineReport();

  // True once further lines are only counted: their line numbers need not
  // be worked out.
  bool OnlyCounting() const { return messages_ >= kMostMessages; }

  // One skipped line.
  void Add(int line, std::string_view message);
  // One skipped line beyond the bound, when OnlyCounting.
  void Count();

  // Gives the closing message, once, when lines were held back.
  void Finish();

 private:
  std::string file_name_;
  Sink sink_;
  int messages_ = 0;
  long held_back_ = 0;
};

}  // namespace regfile
