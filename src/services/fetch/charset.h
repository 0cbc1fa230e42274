// A page's charset: which one its bytes are written in, found from what the server says, a
// byte-order mark, the page's own declaration or, failing all, the bytes themselves; and the
// names the program keeps for the labels that name a charset.
#ifndef WEBLETTER_SERVICES_FETCH_CHARSET_H_
#define WEBLETTER_SERVICES_FETCH_CHARSET_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace webletter {

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

// The program's name for a charset `label` that it can read pages in, as DetectCharset gives
// names: blanks and one pair of quotes around it dropped, lower case, the usual name for an
// alias. Nothing for a label of anything but letters, digits and "-_.:" or of more than 40
// characters, one that iconv does not know, and UTF-7.
std::optional<std::string> SupportedCharset(std::string_view label);

// The byte-order marks that decide a page's charset, and are dropped from its text.
struct ByteOrderMark {
  std::string_view bytes;
  std::string_view charset;
};
inline constexpr std::array<ByteOrderMark, 3> kByteOrderMarks{{
    {"\xEF\xBB\xBF", "utf-8"},
    {"\xFF\xFE", "utf-16le"},
    {"\xFE\xFF", "utf-16be"},
}};

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_CHARSET_H_
