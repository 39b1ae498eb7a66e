#include "platform/export/export_file_report.h"

#include "platform/lan/visible_text.h"

namespace regfile {

ExportFileReport::ExportFileReport(const std::string& file_name, std::ostream& diagnostics)
    : file_name_(lan::VisibleText(file_name)), diagnostics_(diagnostics) {}

ExportFileReport::~ExportFileReport() { Finish(); }

void ExportFileReport::Say(std::string_view message) {
  diagnostics_ << "kestrova: " + lan::VisibleText(file_name_ + std::string(message)) + "\n";
}

void ExportFileReport::Add(int line, std::string_view message) {
  if (OnlyCounting()) {
    Count();
    return;
  }
  ++messages_;
  Say(":" + std::to_string(line) + ": " + std::string(message));
}

void ExportFileReport::Count() { ++held_back_; }

void ExportFileReport::Finish() {
  if (held_back_ == 0) return;
  const long count = held_back_;
  held_back_ = 0;
  Say(": " + std::to_string(count) + (count == 1 ? " more line" : " more lines") + " skipped");
}

}  // namespace regfile
