// ASCII character classes, case folding and the small text tests that every folder makes the
// same way, whatever the process's locale (LC_CTYPE never changes what these say). Only copies
// with one meaning live here: the blanks of the settings file and of a netrc differ on purpose
// and stay with their readers.
#ifndef WEBLETTER_BASE_ASCII_H_
#define WEBLETTER_BASE_ASCII_H_

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace webletter {

constexpr bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLetterOrDigit(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// A C0 control character or DEL: what may break a line or start a terminal's escape.
constexpr bool IsAsciiControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}

constexpr bool HasAsciiControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), IsAsciiControl);
}

// White space as HTML, CSS and MIME parameters read it: space, tab, LF, CR and FF, not VT.
constexpr bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// `text` without the white space (IsAsciiSpace) at either end.
constexpr std::string_view TrimAsciiSpace(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

constexpr bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// Whether `text` starts with an address's scheme and "://": a letter, then letters, digits, "+",
// "-" or ".".
constexpr bool StartsWithUrlScheme(std::string_view text) {
  const std::size_t end = text.find("://");
  if (end == std::string_view::npos || end == 0 || !IsAsciiLetter(text[0])) return false;
  return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), [](char c) {
    return IsAsciiLetterOrDigit(c) || c == '+' || c == '-' || c == '.';
  });
}

// A charset's name as a label may give it: letters, digits and "-_.:+" only, so that no iconv
// suffix ("//IGNORE") and nothing that could break a mail header gets through.
constexpr bool IsCharsetName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return IsAsciiLetterOrDigit(c) || c == '-' || c == '_' || c == '.' || c == ':' || c == '+';
  });
}

// The length of the valid UTF-8 sequence that `text` starts with (1 to 4), or 0 when it starts
// with none: no overlong forms, no surrogates, nothing above U+10FFFF.
constexpr std::size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// The length of the UTF-8 sequence that `lead` starts, for text known to be valid UTF-8.
constexpr std::size_t Utf8LeadLength(char lead) {
  const auto byte = static_cast<unsigned char>(lead);
  return byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
}

}  // namespace webletter

#endif  // WEBLETTER_BASE_ASCII_H_
