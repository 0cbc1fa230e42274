// A page as the program carries it: its bytes, unchanged, and the charset they are written in
// (charset.h finds it), with its text as UTF-8 (text_decoding.h reads it).
#ifndef WEBLETTER_SERVICES_FETCH_PAGE_H_
#define WEBLETTER_SERVICES_FETCH_PAGE_H_

#include <string>
#include <string_view>

namespace webletter {

struct Page {
  std::string bytes;              // exactly as received or read
  std::string charset = "utf-8";  // an IANA name, lower case: "utf-8", "iso-8859-1", ...
  std::string url = {};  // where a fetched page came from, after its redirects; empty for a file

  // The page as UTF-8 text, for searches and for showing it. Bytes that do not decode become
  // U+FFFD; the page itself is never changed.
  std::string DecodedText() const;
  // The same text, without a copy where it is the bytes themselves (well-formed UTF-8); else
  // decoded into `storage`, which the view then points into.
  std::string_view DecodedText(std::string& storage) const;
  // Whether DecodedText() holds `text`, which is printable ASCII without "\" or "~" and
  // starts with "<". In a charset that keeps ASCII apart (UTF-8, the ISO-8859 and Windows sets,
  // Shift_JIS, GBK, ...) the bytes are searched as they are; others are decoded piece by piece.
  bool Contains(std::string_view text) const;
};

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_PAGE_H_
