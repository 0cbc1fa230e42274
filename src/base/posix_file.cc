#include "base/posix_file.h"

#include <unistd.h>

#include <cerrno>

#include "base/standard_messages.h"

namespace webletter {

Status WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return Status(ErrorNumberFromErrno(errno));
    if (count == 0) return Status(error::kDeviceIoError);
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return Status::Ok();
}

}  // namespace webletter
