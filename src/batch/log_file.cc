#include "batch/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>

#include "platform/locale_text.h"
#include "platform/masked_address.h"
#include "platform/standard_messages.h"

namespace webletter {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kNotARegularFile = "it is not a regular file";

// One line on standard error: the file and what went wrong.
void ReportLogFailure(const std::string& path, std::string_view reason) {
  std::cerr << "webletter: cannot write to the log file " << ShownSafely(path) << ": " << reason
            << '\n';
}

std::string_view ReasonOf(int errno_value) {
  return StandardMessage(ErrorNumberFromErrno(errno_value));
}

// Opens the log for appending without waiting: a FIFO or a device never blocks the run.
// Returns the descriptor, or -1 after reporting why there is none.
int OpenLog(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    // ENXIO: a FIFO that nobody reads.
    ReportLogFailure(path, errno == ENXIO ? kNotARegularFile : ReasonOf(errno));
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ReportLogFailure(path, kNotARegularFile);
    ::close(fd);
    return -1;
  }
  return fd;
}

// Writes `entry` with one write call, which O_APPEND places at the end of the file as a whole.
// A short write (a full disk) is undone by cutting the file back to where the entry began, as
// long as nothing was appended after it. Returns 0, or the errno of the failure.
int WriteWhole(int fd, std::string_view entry) {
  ssize_t written = 0;
  do written = ::write(fd, entry.data(), entry.size());
  while (written < 0 && errno == EINTR);
  if (written < 0) return errno;
  if (static_cast<std::size_t>(written) == entry.size()) return 0;
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  struct stat info {};
  if (end >= written && ::fstat(fd, &info) == 0 && info.st_size == end) {
    if (::ftruncate(fd, end - written) != 0) return errno;
  }
  return ENOSPC;
}

}  // namespace

void WriteLog(const ProgramState& state, std::string_view message) {
  if (message.ends_with(kCrLf)) message.remove_suffix(kCrLf.size());
  std::string entry = NowAsText();
  entry += "  ";
  entry += message;
  entry += kCrLf;

  const std::string path = state.LogPath();
  const int fd = OpenLog(path);
  if (fd < 0) return;
  int failure = WriteWhole(fd, entry);
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
  if (failure != 0) ReportLogFailure(path, ReasonOf(failure));
}

}  // namespace webletter
