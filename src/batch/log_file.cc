#include "batch/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>

#include "platform/locale_text.h"
#include "platform/standard_messages.h"

namespace webletter {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// Writes all of `data`: one write call for any ordinary entry, which O_APPEND places at the end
// of the file as a whole. Returns 0, or the errno of the failure.
int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// One line on standard error: the file and the standard message of what went wrong.
void ReportLogFailure(const std::string& path, int errno_value) {
  std::cerr << "webletter: cannot write to the log file " << path << ": "
            << StandardMessage(ErrorNumberFromErrno(errno_value)) << '\n';
}

}  // namespace

void WriteLog(const ProgramState& state, std::string_view message) {
  if (message.ends_with(kCrLf)) message.remove_suffix(kCrLf.size());
  std::string entry = NowAsText();
  entry += "  ";
  entry += message;
  entry += kCrLf;

  const std::string path = state.LogPath();
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    ReportLogFailure(path, errno);
    return;
  }
  int failure = WriteAll(fd, entry);
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
  if (failure != 0) ReportLogFailure(path, failure);
}

}  // namespace webletter
