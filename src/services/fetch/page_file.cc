#include "services/fetch/page_file.h"

#include <utility>

#include "base/posix_file.h"
#include "services/fetch/charset.h"

namespace webletter {

Result<Page> ReadPageFile(const std::string& path) {
  Result<std::string> bytes = ReadWholeFile(path, kMaxPageFileBytes);
  if (!bytes.ok()) return bytes.status();
  Page page;
  page.bytes = std::move(bytes).value();
  page.charset = DetectCharset("", page.bytes);
  return page;
}

}  // namespace webletter
