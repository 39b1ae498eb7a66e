#include "platform/export/file_contents.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/lan/opened_file.h"

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

}  // namespace

FileContents::FileContents() = default;

FileContents::~FileContents() {
  if (buffer_) Buffers().Give(std::move(buffer_));
}

FileContents::Outcome FileContents::Open(const std::filesystem::path& path,
                                         const std::function<bool(std::string_view start)>& start_fits) {
  lan::OpenedFile file(path);
  if (file.Error() != 0) {
    error_ = file.Error();
    return Outcome::kCannotOpen;
  }
  const Outcome outcome = Read(file, start_fits);
  if (outcome != Outcome::kRead) {
    data_ = nullptr;
    size_ = 0;
    if (buffer_) Buffers().Give(std::move(buffer_));
  }
  return outcome;
}

FileContents::Outcome FileContents::Read(lan::OpenedFile& file,
                                         const std::function<bool(std::string_view start)>& start_fits) {
  if (!file.IsRegular()) return Outcome::kNotAFile;
  modified_ = file.Modified();
  const std::uint64_t size = file.Size();
  // The start first: a large file that is something else says so before
  // anything is sized from it.
  char start[kStartSize];
  std::size_t start_size = 0;
  if (const int error = file.Read(start, kStartSize, start_size); error != 0) {
    error_ = error;
    return Outcome::kCannotRead;
  }
  if (start_size > size || (start_size < kStartSize && start_size != size)) return Outcome::kChanged;
  if (!start_fits(std::string_view(start, start_size))) return Outcome::kRefused;
  if (size > kLargestFile) return Outcome::kTooLarge;
  buffer_ = Buffers().Take();
  // One byte more than the size: a file that grew shows in it.
  char* data = buffer_->Reserve(static_cast<std::size_t>(size) + 1);
  std::memcpy(data, start, start_size);
  std::size_t rest = 0;
  if (const int error = file.Read(data + start_size, static_cast<std::size_t>(size - start_size) + 1, rest);
      error != 0) {
    error_ = error;
    return Outcome::kCannotRead;
  }
  if (start_size + rest != size) return Outcome::kChanged;
  data_ = data;
  size_ = static_cast<std::size_t>(size);
  return Outcome::kRead;
}

}  // namespace regfile
