#include "platform/export/file_contents.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Reads `size` bytes; errno's value on failure, EIO when the file ends
// early.
int ReadAll(int descriptor, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t count = read(descriptor, data + done, size - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    if (count == 0) return EIO;
    done += static_cast<std::size_t>(count);
  }
  return 0;
}

}  // namespace

FileContents::FileContents() = default;

FileContents::~FileContents() {
  if (mapping_ != nullptr) munmap(mapping_, size_);
  if (buffer_) Buffers().Give(std::move(buffer_));
}

int FileContents::Open(const std::filesystem::path& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return errno;
  struct stat facts {};
  int error = 0;
  if (fstat(descriptor, &facts) != 0) {
    error = errno;
  } else if (!S_ISREG(facts.st_mode)) {
    error = S_ISDIR(facts.st_mode) ? EISDIR : EINVAL;
  } else if (facts.st_size > 0 && static_cast<std::size_t>(facts.st_size) <= kLargestCopied) {
    size_ = static_cast<std::size_t>(facts.st_size);
    buffer_ = Buffers().Take();
    char* data = buffer_->Reserve(size_);
    error = ReadAll(descriptor, data, size_);
    data_ = data;
  } else if (facts.st_size > 0) {
    size_ = static_cast<std::size_t>(facts.st_size);
    // The whole file is read: its pages are mapped in one go rather than
    // faulted in one by one.
    void* address = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, descriptor, 0);
    if (address == MAP_FAILED) {
      error = errno;
    } else {
      mapping_ = address;
      data_ = static_cast<const char*>(address);
    }
  }
  if (error != 0) {
    data_ = nullptr;
    size_ = 0;
  }
  modified_ = facts.st_mtim;
  close(descriptor);
  return error;
}

}  // namespace regfile
