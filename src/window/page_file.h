// A page read from a file: its bytes unchanged, and the charset found as for a page served
// without a Content-Type (byte-order mark, the page's own declaration, else UTF-8 where the
// bytes are valid UTF-8, else windows-1252).
#ifndef WEBLETTER_WINDOW_PAGE_FILE_H_
#define WEBLETTER_WINDOW_PAGE_FILE_H_

#include <string>

#include "platform/status.h"
#include "services/page.h"

namespace webletter {

// Reads the whole file at `path`. A file that cannot be opened or read (missing, a folder, no
// permission) fails with the standard-message number of the system's error.
Result<Page> ReadPageFile(const std::string& path);

}  // namespace webletter

#endif  // WEBLETTER_WINDOW_PAGE_FILE_H_
