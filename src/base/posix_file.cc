#include "base/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

#include "base/standard_messages.h"

namespace webletter {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

Status FromErrno(int errno_value) { return Status(ErrorNumberFromErrno(errno_value)); }

}  // namespace

UniqueFd::~UniqueFd() {
  if (valid()) ::close(fd_);
}

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  std::swap(fd_, other.fd_);
  return *this;
}

int UniqueFd::Close() { return ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno; }

Result<std::string> ReadAll(int fd, std::size_t limit) {
  std::string text;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    text.reserve(std::min(static_cast<std::size_t>(info.st_size), limit));
  }
  const auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunk);
  for (;;) {
    const ssize_t count = ::read(fd, buffer.get(), kReadChunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return FromErrno(errno);
    if (count == 0) return text;
    if (static_cast<std::size_t>(count) > limit - text.size()) {
      return Status(error::kFileTooLarge);
    }
    text.append(buffer.get(), static_cast<std::size_t>(count));
  }
}

Result<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return FromErrno(errno);
  return ReadAll(file.get(), limit);
}

Status WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return FromErrno(errno);
    if (count == 0) return Status(error::kDeviceIoError);
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return Status::Ok();
}

}  // namespace webletter
