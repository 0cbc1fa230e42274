// Small wrappers of the POSIX file calls that several folders share.
#ifndef WEBLETTER_BASE_POSIX_FILE_H_
#define WEBLETTER_BASE_POSIX_FILE_H_

#include <string_view>

#include "base/status.h"

namespace webletter {

// Writes all of `bytes` to `fd`, going on after a short write or an interruption. A failure
// carries the standard message of its errno (ENOSPC: "Disk full").
Status WriteAll(int fd, std::string_view bytes);

}  // namespace webletter

#endif  // WEBLETTER_BASE_POSIX_FILE_H_
