// A page as the program carries it: its bytes, unchanged, and the charset they are written in.
#ifndef WEBLETTER_SERVICES_FETCH_PAGE_H_
#define WEBLETTER_SERVICES_FETCH_PAGE_H_

#include <string>
#include <string_view>

namespace webletter {

struct Page {
  std::string bytes;              // exactly as received or read
  std::string charset = "utf-8";  // an IANA name, lower case: "utf-8", "iso-8859-1", ...

  // The page as UTF-8 text, for searches and for showing it. Bytes that do not decode become
  // U+FFFD; the page itself is never changed.
  std::string DecodedText() const;
  // Whether DecodedText() holds `text`, which is printable ASCII without "\" or "~" and
  // starts with "<". In a charset that keeps ASCII apart (UTF-8, the ISO-8859 and Windows sets,
  // Shift_JIS, GBK, ...) the bytes are searched as they are; others are decoded piece by piece.
  bool Contains(std::string_view text) const;
};

// The charset of a page: from the Content-Type header's charset parameter when there is one,
// else a byte-order mark, else the page's own <meta charset> or http-equiv declaration (looked
// for in its first 4096 bytes), else "utf-8" where the bytes are valid UTF-8, else the charset
// that uchardet guesses from the page's first non-ASCII bytes (Latin-1 or ASCII guesses give
// "windows-1252"), else "windows-1252" when it guesses none that the program can read.
// `content_type` is the raw header value, empty when there was none (files).
// Labels come back lower case under their usual names ("latin1" -> "iso-8859-1", "cp1251" ->
// "windows-1251"), made only of letters, digits and "-_.:". A label that iconv does not know,
// or UTF-7, is passed over and the next source decides; a declaration of UTF-16 in a <meta>
// means UTF-8 (the page could be read as ASCII to find it).
std::string DetectCharset(std::string_view content_type, std::string_view bytes);

// Converts `bytes` in `charset` to UTF-8; undecodable bytes become U+FFFD. A leading byte-order
// mark of the charset is dropped. Latin-1 and ASCII are read as windows-1252, as browsers do;
// a charset that cannot be read is taken as UTF-8 where the bytes are valid UTF-8, else as
// windows-1252.
std::string DecodeToUtf8(std::string_view bytes, std::string_view charset);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_PAGE_H_
