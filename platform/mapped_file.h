// A file mapped read-only into memory, for reading it in place without a
// copy; unmapped when the object goes.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <string_view>

namespace regfile {

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  // Maps a regular file; answers 0 or the errno value of the failure.
  int Open(const std::filesystem::path& path);

  std::string_view Bytes() const { return {static_cast<const char*>(address_), size_}; }
  // The time of the file's last modification.
  timespec Modified() const { return modified_; }

 private:
  void* address_ = nullptr;
  std::size_t size_ = 0;
  timespec modified_{};
};

}  // namespace regfile
