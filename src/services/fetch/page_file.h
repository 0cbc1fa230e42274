// A page read from a file: its bytes unchanged, and the charset found as for a page served
// without a Content-Type (byte-order mark, the page's own declaration, else UTF-8 where the
// bytes are valid UTF-8, else what they look written in: see DetectCharset).
#ifndef WEBLETTER_SERVICES_FETCH_PAGE_FILE_H_
#define WEBLETTER_SERVICES_FETCH_PAGE_FILE_H_

#include <string>

#include "base/status.h"
#include "services/fetch/page.h"

namespace webletter {

// A page file holds at most what a fetched page may (64 MiB).
inline constexpr std::size_t kMaxPageFileBytes = 64u << 20;

// Reads the whole file at `path`. A file that cannot be opened or read (missing, a folder, no
// permission) fails with the standard-message number of the system's error, a larger one than
// kMaxPageFileBytes with error::kFileTooLarge.
Result<Page> ReadPageFile(const std::string& path);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_PAGE_FILE_H_
