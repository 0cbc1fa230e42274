#include "services/fetch/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/standard_messages.h"

namespace webletter {
namespace {

Status FromErrno(int errno_value) { return Status(ErrorNumberFromErrno(errno_value)); }

// Closes the descriptor when it goes.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

Result<Page> ReadPageFile(const std::string& path) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return FromErrno(errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return FromErrno(errno);
  if (S_ISDIR(info.st_mode)) return FromErrno(EISDIR);

  Page page;
  if (S_ISREG(info.st_mode)) page.bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return FromErrno(errno);
    }
    page.bytes.append(buffer, static_cast<std::size_t>(count));
  }
  page.charset = DetectCharset("", page.bytes);
  return page;
}

}  // namespace webletter
