#include "platform/lan/opened_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace lan {
namespace {

#ifdef _WIN32
int OpenForReading(const std::filesystem::path& path) {
  return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
using FileFacts = struct _stat64;
int FactsOf(int descriptor, FileFacts& facts) { return _fstat64(descriptor, &facts); }
long ReadSome(int descriptor, char* data, std::size_t size) {
  return _read(descriptor, data, static_cast<unsigned>(size < 0x10000000 ? size : 0x10000000));
}
void Close(int descriptor) { _close(descriptor); }
#else
int OpenForReading(const std::filesystem::path& path) {
  return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
using FileFacts = struct stat;
int FactsOf(int descriptor, FileFacts& facts) { return fstat(descriptor, &facts); }
long ReadSome(int descriptor, char* data, std::size_t size) { return read(descriptor, data, size); }
void Close(int descriptor) { close(descriptor); }
#endif

}  // namespace

OpenedFile::OpenedFile(const std::filesystem::path& path) {
  descriptor_ = OpenForReading(path);
  if (descriptor_ < 0) {
    error_ = errno;
    return;
  }
  FileFacts facts{};
  if (FactsOf(descriptor_, facts) != 0) {
    error_ = errno;
    return;
  }
  mode_ = static_cast<unsigned>(facts.st_mode);
#ifndef _WIN32
  owner_ = static_cast<unsigned>(facts.st_uid);
  permissions_ = static_cast<unsigned>(facts.st_mode) & 07777;
#endif
  if (S_ISREG(facts.st_mode) && facts.st_size > 0) size_ = static_cast<std::uint64_t>(facts.st_size);
#ifdef _WIN32
  modified_.tv_sec = static_cast<decltype(modified_.tv_sec)>(facts.st_mtime);
#else
  modified_ = facts.st_mtim;
#endif
}

OpenedFile::~OpenedFile() {
  if (descriptor_ >= 0) Close(descriptor_);
}

std::string OpenedFile::NotRegular() const {
  if (S_ISREG(mode_)) return "";
  if (S_ISDIR(mode_)) return "a directory";
  if (S_ISFIFO(mode_)) return "a FIFO";
  if (S_ISCHR(mode_)) return "a device";
#ifndef _WIN32
  if (S_ISBLK(mode_)) return "a device";
  if (S_ISSOCK(mode_)) return "a socket";
#endif
  return "no regular file";
}

bool OpenedFile::IsRegular() const { return error_ == 0 && S_ISREG(mode_); }

bool OpenedFile::IsDirectory() const { return error_ == 0 && S_ISDIR(mode_); }

int OpenedFile::Read(char* data, std::size_t size, std::size_t& done) {
  done = 0;
  if (error_ != 0) return error_;
  while (done < size) {
    const long count = ReadSome(descriptor_, data + done, size - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  return 0;
}

int OpenedFile::ReadAll(std::uint64_t most, std::string& text) {
  if (error_ != 0) return error_;
  if (!S_ISREG(mode_)) return EINVAL;
  if (size_ > most) return EFBIG;
  // Room for one byte more than allowed tells a file that has grown.
  text.resize(static_cast<std::size_t>(size_) + 1);
  std::size_t done = 0;
  for (;;) {
    if (done == text.size()) {
      if (done > most) return EFBIG;
      text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(most + 1, 2 * done + 4096)));
    }
    std::size_t got = 0;
    if (const int error = Read(text.data() + done, text.size() - done, got); error != 0) return error;
    done += got;
    if (done < text.size()) break;  // the end of the file
  }
  if (done > most) return EFBIG;
  text.resize(done);
  return 0;
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

}  // namespace lan
