// A file from outside (of a LAN directory, an export file, the credentials
// file of the SMB network), opened before anything is decided about it.
// Opening never waits (a FIFO without a writer, a device), never makes the
// file the process's terminal and is not inherited by child processes;
// what the file is, and how large, is then read from the open descriptor,
// so that the file that was checked is the file that is read, even when
// the name is changed in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

namespace lan {

class OpenedFile {
 public:
  explicit OpenedFile(const std::filesystem::path& path);
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;

  // 0 once the file is open; else the errno value of the failure (ENOENT
  // for a name that leads to no file).
  int Error() const { return error_; }
  // True once the file was opened, even where what it is could not be
  // learnt then (Error() says why).
  bool Opened() const { return descriptor_ >= 0; }

  // What the open file is, for messages, when it is no regular file ("a
  // directory", "a FIFO", "a device", ...); empty for a regular file.
  std::string NotRegular() const;
  bool IsRegular() const;
  bool IsDirectory() const;

  // Its owner and its permission bits (the mode's low twelve), as they
  // were when it was opened; 0 on Windows, which keeps neither.
  unsigned Owner() const { return owner_; }
  unsigned Permissions() const { return permissions_; }

  // A regular file's size as it was when it was opened.
  std::uint64_t Size() const { return size_; }
  // The time of its last modification when it was opened (whole seconds
  // on Windows).
  timespec Modified() const { return modified_; }

  // Reads up to `size` bytes from where the last read ended, fewer only
  // where the file ends: 0 with the number read in `done`, or the errno
  // value of the failure.
  int Read(char* data, std::size_t size, std::size_t& done);

  // Reads the whole file into `text`: 0, or the errno value of the
  // failure, EFBIG when it holds more than `most` bytes (it may have grown
  // since it was opened).
  int ReadAll(std::uint64_t most, std::string& text);

 private:
  int descriptor_ = -1;
  int error_ = 0;
  unsigned mode_ = 0;
  unsigned owner_ = 0;
  unsigned permissions_ = 0;
  std::uint64_t size_ = 0;
  timespec modified_{};
};

// The text of an errno value, for messages.
std::string ErrorText(int error);

}  // namespace lan
