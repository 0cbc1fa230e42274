// Well-formed UTF-8, as a page's bytes must be to be read as UTF-8: no overlong forms, no
// surrogates, nothing past U+10FFFF, no stray or cut-off sequences. The test that decides it,
// and the repair that replaces what fails it with U+FFFD.
#ifndef WEBLETTER_SERVICES_FETCH_UTF8_H_
#define WEBLETTER_SERVICES_FETCH_UTF8_H_

#include <string>
#include <string_view>

namespace webletter {

inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Whether all of `text` is well-formed UTF-8. NUL bytes are ASCII like any other.
bool IsValidUtf8(std::string_view text);

// `bytes` with every byte that starts no well-formed sequence replaced by U+FFFD; well-formed
// sequences are copied as they are.
std::string RepairUtf8(std::string_view bytes);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_UTF8_H_
