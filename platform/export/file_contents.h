// The bytes of a file, for reading it whole and in place: a large file is
// mapped read-only into memory; a small one is read into a buffer that is
// reused from file to file, since mapping and unmapping a file of a few
// hundred kilobytes costs more than copying it (the unmapping flushes the
// TLB; measured with bench/export_listing). Either way nothing is held
// once the object goes but at most one small buffer per object alive.
#pragma once

#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>

namespace regfile {

class FileContents {
 public:
  // Files up to this size are read into a buffer; larger ones are mapped.
  static constexpr std::size_t kLargestCopied = 1 << 20;

  struct Buffer;  // the room for a small file's bytes

  FileContents();
  FileContents(const FileContents&) = delete;
  FileContents& operator=(const FileContents&) = delete;
  ~FileContents();

  // Reads a regular file; answers 0 or the errno value of the failure.
  int Open(const std::filesystem::path& path);

  std::string_view Bytes() const { return {data_, size_}; }
  // The time of the file's last modification.
  timespec Modified() const { return modified_; }

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  void* mapping_ = nullptr;
  std::unique_ptr<Buffer> buffer_;
  timespec modified_{};
};

}  // namespace regfile
