// The POSIX file calls as the program uses them everywhere: a descriptor that closes itself,
// whole reads with a limit, whole writes. Every failure carries the standard message of its
// errno (ENOENT: "File not found", ENOSPC: "Disk full", ...).
#ifndef WEBLETTER_BASE_POSIX_FILE_H_
#define WEBLETTER_BASE_POSIX_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/status.h"

namespace webletter {

// Owns a file descriptor (or none, -1) and closes it when it goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept;
  UniqueFd& operator=(UniqueFd&& other) noexcept;

  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  // Closes now and returns 0, or the errno of a failed close (a late write error shows there).
  int Close();

 private:
  int fd_;
};

// Reads `fd` from where it stands to its end; fails with the errno's standard message, or with
// error::kFileTooLarge as soon as more than `limit` bytes have come.
Result<std::string> ReadAll(int fd, std::size_t limit);

// Opens `path` for reading and reads it whole, at most `limit` bytes (see ReadAll); a folder
// fails as reading one does (EISDIR).
Result<std::string> ReadWholeFile(const std::string& path, std::size_t limit);

// Writes all of `bytes` to `fd`, going on after a short write or an interruption.
Status WriteAll(int fd, std::string_view bytes);

}  // namespace webletter

#endif  // WEBLETTER_BASE_POSIX_FILE_H_
