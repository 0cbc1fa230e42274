#include "batch/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/locale_text.h"

namespace webletter {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// Writes all of `data` with as few write calls as the system allows: one for any ordinary entry,
// which O_APPEND places at the end of the file as a whole.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void ReportLogFailure(const std::string& path, int error) {
  std::cerr << "webletter: cannot write to the log file " << path << ": " << std::strerror(error)
            << '\n';
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
  const bool written = WriteAll(fd, entry);
  const int write_error = errno;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) ReportLogFailure(path, written ? errno : write_error);
}

}  // namespace webletter
