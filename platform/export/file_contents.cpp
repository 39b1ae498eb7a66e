#include "platform/export/file_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace regfile {

// Room for a file's bytes; it only grows.
struct FileContents::Buffer {
  std::unique_ptr<char[]> Data;
  std::size_t Capacity = 0;

  char* Reserve(std::size_t size) {
    if (size > Capacity) {
      Data = std::make_unique_for_overwrite<char[]>(size);
      Capacity = size;
    }
    return Data.get();
  }
};

namespace {

using Buffer = FileContents::Buffer;

// Buffers of files read earlier, kept for the next ones.
class BufferPool {
 public:
  std::unique_ptr<Buffer> Take() {
    std::lock_guard lock(guard_);
    if (free_.empty()) return std::make_unique<Buffer>();
    std::unique_ptr<Buffer> buffer = std::move(free_.back());
    free_.pop_back();
    return buffer;
  }
  void Give(std::unique_ptr<Buffer> buffer) {
    if (buffer->Capacity > FileContents::kLargestKept) return;
    std::lock_guard lock(guard_);
    free_.push_back(std::move(buffer));
  }

 private:
  std::mutex guard_;
  std::vector<std::unique_ptr<Buffer>> free_;
};

BufferPool& Buffers() {
  static BufferPool* pool = new BufferPool;  // outlives every user
  return *pool;
}

// Reads up to `size` bytes, fewer only where the file ends: answers the
// number read, or -1 with errno set.
ssize_t ReadUpTo(int descriptor, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t count = read(descriptor, data + done, size - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return -1;
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

FileContents::FileContents() = default;

FileContents::~FileContents() {
  if (buffer_) Buffers().Give(std::move(buffer_));
}

FileContents::Outcome FileContents::Open(const std::filesystem::path& path,
                                         const std::function<bool(std::string_view start)>& start_fits) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer for ever.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) {
    error_ = errno;
    return Outcome::kCannotOpen;
  }
  const Outcome outcome = Read(descriptor, start_fits);
  close(descriptor);
  if (outcome != Outcome::kRead) {
    data_ = nullptr;
    size_ = 0;
    if (buffer_) Buffers().Give(std::move(buffer_));
  }
  return outcome;
}

FileContents::Outcome FileContents::Read(int descriptor,
                                         const std::function<bool(std::string_view start)>& start_fits) {
  struct stat facts {};
  if (fstat(descriptor, &facts) != 0) {
    error_ = errno;
    return Outcome::kCannotRead;
  }
  if (!S_ISREG(facts.st_mode)) return Outcome::kNotAFile;
  modified_ = facts.st_mtim;
  const auto size = static_cast<std::uint64_t>(facts.st_size);
  // The start first: a large file that is something else says so before
  // anything is sized from it.
  char start[kStartSize];
  const ssize_t got = ReadUpTo(descriptor, start, kStartSize);
  if (got < 0) {
    error_ = errno;
    return Outcome::kCannotRead;
  }
  const auto start_size = static_cast<std::uint64_t>(got);
  if (start_size > size || (start_size < kStartSize && start_size != size)) return Outcome::kChanged;
  if (!start_fits(std::string_view(start, start_size))) return Outcome::kRefused;
  if (size > kLargestFile) return Outcome::kTooLarge;
  buffer_ = Buffers().Take();
  // One byte more than the size: a file that grew shows in it.
  char* data = buffer_->Reserve(static_cast<std::size_t>(size) + 1);
  std::memcpy(data, start, start_size);
  const ssize_t rest = ReadUpTo(descriptor, data + start_size, static_cast<std::size_t>(size - start_size) + 1);
  if (rest < 0) {
    error_ = errno;
    return Outcome::kCannotRead;
  }
  if (start_size + static_cast<std::uint64_t>(rest) != size) return Outcome::kChanged;
  data_ = data;
  size_ = static_cast<std::size_t>(size);
  return Outcome::kRead;
}

}  // namespace regfile
