// A page as the program carries it: its bytes, unchanged, and the charset they are written in.
#ifndef WEBLETTER_SERVICES_PAGE_H_
#define WEBLETTER_SERVICES_PAGE_H_

#include <string>
#include <string_view>

namespace webletter {

struct Page {
  std::string bytes;              // exactly as received or read
  std::string charset = "utf-8";  // an IANA name, lower case: "utf-8", "iso-8859-1", ...

  // The page as UTF-8 text, for searches and for showing it. Bytes that do not decode become
  // U+FFFD; the page itself is never changed.
  std::string DecodedText() const;
};

// The charset of a page: from the Content-Type header's charset parameter when there is one,
// else a byte-order mark, else the page's own <meta charset> or http-equiv declaration (looked
// for in its first 4096 bytes), else "utf-8" where the bytes are valid UTF-8, else
// "windows-1252". `content_type` is the raw header value, empty when there was none (files).
std::string DetectCharset(std::string_view content_type, std::string_view bytes);

// Converts `bytes` in `charset` to UTF-8; undecodable bytes become U+FFFD.
std::string DecodeToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_PAGE_H_
