#include "batch/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <string>
#include <vector>

#include "base/posix_file.h"
#include "base/shown_text.h"
#include "base/standard_messages.h"
#include "services/dates/locale_text.h"

namespace webletter {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kNotARegularFile = "it is not a regular file";
constexpr std::string_view kSymbolicLink = "it is a symbolic link, which is never followed";

// The lines of an entry, split at CR LF, CR or LF; the entry's final line end makes no line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
    if (text.starts_with(kCrLf)) {
      text.remove_prefix(kCrLf.size());
    } else if (!text.empty()) {
      text.remove_prefix(1);
    }
  }
  return lines;
}

// On standard error: the file and what went wrong, then the entry's own lines, so that the
// reason of a failed run is never lost.
void ReportLogFailure(const std::string& path, std::string_view reason, std::string_view entry) {
  std::cerr << "webletter: cannot write to the log file " << ShownSafely(path) << ": " << reason
            << '\n';
  for (std::string_view line : SplitLines(entry)) std::cerr << "webletter: " << line << '\n';
  std::cerr << std::flush;
}

std::string_view ReasonOf(int errno_value) {
  return StandardMessage(ErrorNumberFromErrno(errno_value));
}

// Why a log could not be opened.
std::string_view OpenFailure(int errno_value) {
  if (errno_value == ENXIO) return kNotARegularFile;  // a FIFO that nobody reads
  if (errno_value == ELOOP) return kSymbolicLink;
  return ReasonOf(errno_value);
}

// Opens the log for appending without waiting: a FIFO or a device never blocks the run, and a
// symbolic link is never followed (whoever can write the folder could point it at any file the
// program's user may write). Returns the descriptor, or none with the reason in `reason`.
UniqueFd OpenLog(const std::string& path, std::string_view& reason) {
  UniqueFd fd(::open(path.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0644));
  if (!fd.valid()) {
    reason = OpenFailure(errno);
    return fd;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    reason = kNotARegularFile;
    return UniqueFd();
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
  std::string_view reason;
  UniqueFd fd = OpenLog(path, reason);
  if (!fd.valid()) {
    ReportLogFailure(path, reason, entry);
    return;
  }
  int failure = WriteWhole(fd.get(), entry);
  if (const int closed = fd.Close(); failure == 0 && closed != EINTR) failure = closed;
  if (failure != 0) ReportLogFailure(path, ReasonOf(failure), entry);
}

}  // namespace webletter
