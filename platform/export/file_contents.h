// The bytes of a file, read whole into memory with read(): a snapshot, which
// stays as it was when the file changes, shrinks or goes while it is
// parsed (a mapping would fault instead). The file is opened as every file
// of a LAN directory is (lan::OpenedFile: without blocking, and judged on
// the open descriptor), so that a FIFO or a device put in its place is
// refused rather than waited on; its first bytes are
// judged before the rest is read, and a file larger than kLargestFile is
// not read at all. A file whose size changes while it is read is refused.
//
// The room for the bytes is taken from a pool of buffers that files read
// earlier leave behind (reading into warm memory costs less than faulting
// in new pages; measured with bench/export_listing); a buffer larger than
// kLargestKept is given back to the system instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

namespace lan {
class OpenedFile;
}  // namespace lan

namespace regfile {

class FileContents {
 public:
  // The largest file that is read, in bytes.
  static constexpr std::uint64_t kLargestFile = std::uint64_t{1} << 30;
  // How many of the first bytes are judged before the rest is read.
  static constexpr std::size_t kStartSize = 4096;
  // The largest buffer kept for the next file.
  static constexpr std::size_t kLargestKept = std::size_t{64} << 20;

  enum class Outcome {
    kRead,
    kCannotOpen,  // Error() tells why
    kCannotRead,  // Error() tells why
    kNotAFile,    // a directory, a FIFO, a device or a socket
    kTooLarge,    // larger than kLargestFile
    kRefused,     // its first bytes were refused
    kChanged,     // its size changed while it was read
  };

  struct Buffer;  // room for a file's bytes

  FileContents();
  FileContents(const FileContents&) = delete;
  FileContents& operator=(const FileContents&) = delete;
  ~FileContents();

  // Reads the file at `path`; `start_fits` is asked about its first
  // kStartSize bytes (all of them when it is shorter) before the rest is
  // read. Holds nothing unless it answers kRead.
  Outcome Open(const std::filesystem::path& path, const std::function<bool(std::string_view start)>& start_fits);

  // The errno value of kCannotOpen and kCannotRead.
  int Error() const { return error_; }
  std::string_view Bytes() const { return {data_, size_}; }
  // The time of the file's last modification.
  timespec Modified() const { return modified_; }

 private:
  Outcome Read(lan::OpenedFile& file, const std::function<bool(std::string_view start)>& start_fits);

  const char* data_ = nullptr;
  std::size_t size_ = 0;
  std::unique_ptr<Buffer> buffer_;
  timespec modified_{};
  int error_ = 0;
};

}  // namespace regfile
