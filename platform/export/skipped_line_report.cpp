#include "platform/export/skipped_line_report.h"

#include <utility>

namespace regfile {

SkippedLineReport::SkippedLineReport(std::string file_name, Sink sink)
    : file_name_(std::move(file_name)), sink_(std::move(sink)) {}

SkippedLineReport::~SkippedLineReport() { Finish(); }

void SkippedLineReport::Add(int line, std::string_view message) {
  if (OnlyCounting()) {
    Count();
    return;
  }
  ++messages_;
  if (sink_) sink_(file_name_ + ":" + std::to_string(line) + ": " + std::string(message));
}

void SkippedLineReport::Count() { ++held_back_; }

void SkippedLineReport::Finish() {
  if (held_back_ == 0) return;
  const long count = held_back_;
  held_back_ = 0;
  if (sink_) {
    sink_(file_name_ + ": " + std::to_string(count) + (count == 1 ? " more line" : " more lines") + " skipped");
  }
}

}  // namespace regfile
