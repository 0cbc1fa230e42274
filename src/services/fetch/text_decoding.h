// A page's bytes as UTF-8 text: read by iconv in the charset they are labelled with (or, where
// no charset that the program can read is named, the one they look written in), and searched
// without decoding them whole where the charset allows it.
#ifndef WEBLETTER_SERVICES_FETCH_TEXT_DECODING_H_
#define WEBLETTER_SERVICES_FETCH_TEXT_DECODING_H_

#include <optional>
#include <string>
#include <string_view>

namespace webletter {

// Converts `bytes` in `charset` to UTF-8; undecodable bytes become U+FFFD. A leading byte-order
// mark of the charset is dropped. Latin-1 and ASCII are read as windows-1252, as browsers do;
// a charset that cannot be read is taken as UTF-8 where the bytes are valid UTF-8, else as
// windows-1252.
std::string DecodeToUtf8(std::string_view bytes, std::string_view charset);

// What DecodeToUtf8(bytes, charset) returns when that is a part of `bytes` (well-formed UTF-8,
// its byte-order mark left out): the bytes themselves, not copied. Nothing otherwise.
std::optional<std::string_view> Utf8AsIs(std::string_view bytes, std::string_view charset);

// Whether DecodeToUtf8(bytes, charset) holds `text`, which is printable ASCII without "\" or
// "~", starts with "<" and is not empty. In a charset that keeps ASCII apart (UTF-8, the
// ISO-8859 and Windows sets, Shift_JIS, GBK, ...) the bytes are searched as they are; others
// are decoded piece by piece, never whole.
bool DecodedTextHolds(std::string_view bytes, std::string_view charset, std::string_view text);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_TEXT_DECODING_H_
