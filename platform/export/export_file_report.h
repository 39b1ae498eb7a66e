// The messages about one registry export file, each one line on
// diagnostics, "kestrova: " and the message with its control characters
// made visible (lan::VisibleText), written whole: what stops the file from
// being read, "FILE: what is wrong", and one message per line skipped,
// "FILE:LINE: what is wrong", up to a bound, then one closing message with
// the number of further lines skipped, so that a file full of faults does
// not flood the reader.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace regfile {

class ExportFileReport {
 public:
  static constexpr int kMostMessages = 10;

  // Messages name the file as `file_name` is written, control characters
  // made visible.
  ExportFileReport(const std::string& file_name, std::ostream& diagnostics);
  ExportFileReport(const ExportFileReport&) = delete;
  ExportFileReport& operator=(const ExportFileReport&) = delete;
  // Finishes the report.
  ~ExportFileReport();

  // A message about the file as a whole, which `message` follows the file's
  // name in (": what is wrong").
  void Say(std::string_view message);

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
  std::ostream& diagnostics_;
  int messages_ = 0;
  long held_back_ = 0;
};

}  // namespace regfile
