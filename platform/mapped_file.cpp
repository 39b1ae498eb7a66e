#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace regfile {

MappedFile::~MappedFile() {
  if (address_ != nullptr) munmap(address_, size_);
}

int MappedFile::Open(const std::filesystem::path& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return errno;
  struct stat facts {};
  int error = 0;
  if (fstat(descriptor, &facts) != 0) {
    error = errno;
  } else if (!S_ISREG(facts.st_mode)) {
    error = S_ISDIR(facts.st_mode) ? EISDIR : EINVAL;
  } else if (facts.st_size > 0) {
    size_ = static_cast<std::size_t>(facts.st_size);
    // The whole file is read at once: map its pages in one go rather than
    // fault them in one by one.
    void* address = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, descriptor, 0);
    if (address == MAP_FAILED) {
      error = errno;
      size_ = 0;
    } else {
      address_ = address;
    }
  }
  modified_ = facts.st_mtim;
  close(descriptor);
  return error;
}

}  // namespace regfile
