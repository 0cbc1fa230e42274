#include "services/fetch/charset.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "services/fetch/utf8.h"

namespace webletter {
namespace {

// How far into a page its own charset declaration is looked for.
constexpr std::size_t kMetaScanBytes = 4096;
// How much of an unlabelled page, from its first non-ASCII byte on, the charset guess reads. The
// guesser stops early once it is sure of a multi-byte charset, but reads every byte it is given
// for a single-byte one (a quarter of a millisecond per KiB); a few KiB of text decide.
constexpr std::size_t kGuessBytes = 16 * 1024;

// Common labels that are not the names the program keeps, with the name they stand for.
constexpr std::array<std::pair<std::string_view, std::string_view>, 33> kAliases{{
    {"utf8", "utf-8"},
    {"unicode-1-1-utf-8", "utf-8"},
    {"unicode20utf8", "utf-8"},
    {"x-unicode20utf8", "utf-8"},
    {"latin1", "iso-8859-1"},
    {"latin-1", "iso-8859-1"},
    {"l1", "iso-8859-1"},
    {"iso88591", "iso-8859-1"},
    {"iso_8859-1:1987", "iso-8859-1"},
    {"cp819", "iso-8859-1"},
    {"ibm819", "iso-8859-1"},
    {"iso-ir-100", "iso-8859-1"},
    {"csisolatin1", "iso-8859-1"},
    {"ascii", "us-ascii"},
    {"ansi_x3.4-1968", "us-ascii"},
    {"iso646-us", "us-ascii"},
    {"csascii", "us-ascii"},
    {"x-cp1250", "windows-1250"},
    {"x-cp1251", "windows-1251"},
    {"x-cp1252", "windows-1252"},
    {"x-cp1253", "windows-1253"},
    {"x-cp1254", "windows-1254"},
    {"x-cp1255", "windows-1255"},
    {"x-cp1256", "windows-1256"},
    {"x-cp1257", "windows-1257"},
    {"x-cp1258", "windows-1258"},
    {"sjis", "shift_jis"},
    {"shift-jis", "shift_jis"},
    {"x-sjis", "shift_jis"},
    {"ms_kanji", "shift_jis"},
    {"x-gbk", "gbk"},
    {"ks_c_5601-1987", "euc-kr"},
    {"iso-8859-8-i", "iso-8859-8"},
}};

// Guesses that are labelled as the wider charset that browsers read them as: Latin-1 as
// windows-1252, and UHC (Korean) as euc-kr, the label that mail readers know for it.
constexpr std::array<std::pair<std::string_view, std::string_view>, 2> kGuessedAs{{
    {"iso-8859-1", "windows-1252"},
    {"uhc", "euc-kr"},
}};

// Labels that iconv would accept but that must never decide how a page is read: UTF-7 hides
// markup from filters that read the page as ASCII.
constexpr std::array<std::string_view, 3> kRefused{"utf-7", "unicode-1-1-utf-7", "csunicode11utf7"};

// "cp1252" -> "windows-1252", "iso8859-2" / "iso_8859-2" -> "iso-8859-2".
std::string CanonicalFamilyName(std::string_view label) {
  if (label.size() == 6 && label.starts_with("cp125")) {
    return "windows-" + std::string(label.substr(2));
  }
  for (std::string_view prefix : {"iso8859-", "iso_8859-", "iso8859_"}) {
    if (label.starts_with(prefix)) return "iso-8859-" + std::string(label.substr(prefix.size()));
  }
  return std::string(label);
}

// Whether a label is made only of letters, digits and "-_.:": no iconv suffix like "//IGNORE", no
// character that could break a mail header, and no "+" (which MIME's IsCharsetName lets by).
bool IsPlainLabel(std::string_view label) {
  return !label.empty() && std::all_of(label.begin(), label.end(), [](char c) {
    return IsAsciiLetterOrDigit(c) || c == '-' || c == '_' || c == '.' || c == ':';
  });
}

// The program's name for a charset label, or nothing for a label that is not plain.
std::optional<std::string> NormalizeLabel(std::string_view label) {
  label = TrimAsciiSpace(label);
  if (label.size() >= 2 && (label.front() == '"' || label.front() == '\'') &&
      label.back() == label.front()) {
    label = TrimAsciiSpace(label.substr(1, label.size() - 2));
  }
  if (label.size() > 40 || !IsPlainLabel(label)) return std::nullopt;
  std::string name = AsciiLower(label);
  for (const auto& [alias, canonical] : kAliases) {
    if (name == alias) return std::string(canonical);
  }
  return CanonicalFamilyName(name);
}

// Whether iconv converts from `charset` to UTF-8.
bool IconvReads(const std::string& charset) {
  const iconv_t descriptor = iconv_open("UTF-8", charset.c_str());
  if (descriptor == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(descriptor);
  return true;
}

// The value of the charset parameter of a Content-Type header value such as
// 'text/html; q="a;b"; charset="utf-8"'.
std::optional<std::string> CharsetParameter(std::string_view content_type) {
  std::size_t pos = content_type.find(';');
  while (pos != std::string_view::npos && pos < content_type.size()) {
    ++pos;  // past the ";"
    const std::size_t equals = content_type.find_first_of("=;", pos);
    if (equals == content_type.npos || content_type[equals] == ';') {
      pos = equals;
      continue;
    }
    const std::string name = AsciiLower(TrimAsciiSpace(content_type.substr(pos, equals - pos)));
    pos = equals + 1;
    while (pos < content_type.size() && IsAsciiSpace(content_type[pos])) ++pos;
    std::string value;
    if (pos < content_type.size() && content_type[pos] == '"') {
      for (++pos; pos < content_type.size() && content_type[pos] != '"'; ++pos) {
        if (content_type[pos] == '\\' && pos + 1 < content_type.size()) ++pos;
        value += content_type[pos];
      }
      pos = content_type.find(';', pos);
    } else {
      const std::size_t end = content_type.find(';', pos);
      value = TrimAsciiSpace(content_type.substr(pos, end == content_type.npos ? end : end - pos));
      pos = end;
    }
    if (name == "charset") return value;
  }
  return std::nullopt;
}

std::optional<std::string> CharsetFromBom(std::string_view bytes) {
  for (const ByteOrderMark& mark : kByteOrderMarks) {
    if (bytes.starts_with(mark.bytes)) return std::string(mark.charset);
  }
  return std::nullopt;
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// Reads the attributes of a tag from `pos` (just after its name) up to and including its ">".
// Names are lower-cased; values keep their case. Nothing when the text ends inside the tag.
std::optional<Attributes> ReadAttributes(std::string_view text, std::size_t& pos) {
  Attributes attributes;
  auto skip_space = [&] {
    while (pos < text.size() && IsAsciiSpace(text[pos])) ++pos;
  };
  while (pos < text.size()) {
    skip_space();
    if (pos >= text.size()) break;
    if (text[pos] == '>') {
      ++pos;
      return attributes;
    }
    if (text[pos] == '/') {
      ++pos;
      continue;
    }
    const std::size_t name_start = pos;
    while (pos < text.size() && !IsAsciiSpace(text[pos]) && text[pos] != '=' && text[pos] != '>' &&
           (text[pos] != '/' || pos == name_start)) {
      ++pos;
    }
    std::string name = AsciiLower(text.substr(name_start, pos - name_start));
    skip_space();
    std::string value;
    if (pos < text.size() && text[pos] == '=') {
      ++pos;
      skip_space();
      if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        const char quote = text[pos++];
        const std::size_t close = text.find(quote, pos);
        const std::size_t end = close == text.npos ? text.size() : close;
        value = text.substr(pos, end - pos);
        pos = close == text.npos ? text.size() : close + 1;
      } else {
        const std::size_t value_start = pos;
        while (pos < text.size() && !IsAsciiSpace(text[pos]) && text[pos] != '>') ++pos;
        value = text.substr(value_start, pos - value_start);
      }
    }
    attributes.emplace_back(std::move(name), std::move(value));
  }
  return std::nullopt;
}

// The charset named in a content attribute such as "text/html; charset=iso-8859-1".
std::optional<std::string_view> CharsetInContent(std::string_view content) {
  const std::string lower = AsciiLower(content);
  std::size_t pos = 0;
  while ((pos = lower.find("charset", pos)) != lower.npos) {
    pos += 7;
    std::size_t i = pos;
    while (i < content.size() && IsAsciiSpace(content[i])) ++i;
    if (i >= content.size() || content[i] != '=') continue;
    ++i;
    while (i < content.size() && IsAsciiSpace(content[i])) ++i;
    if (i >= content.size()) return std::nullopt;
    if (content[i] == '"' || content[i] == '\'') {
      const std::size_t close = content.find(content[i], i + 1);
      if (close == content.npos) return std::nullopt;
      return content.substr(i + 1, close - i - 1);
    }
    std::size_t end = i;
    while (end < content.size() && !IsAsciiSpace(content[end]) && content[end] != ';') ++end;
    return content.substr(i, end - i);
  }
  return std::nullopt;
}

// The charset a <meta> tag declares, when it declares one the program can read. A page that can
// be read as ASCII far enough to find its declaration is not UTF-16, whatever it says.
std::optional<std::string> CharsetOfMetaTag(const Attributes& attributes) {
  std::optional<std::string_view> label;
  bool content_type = false;
  std::optional<std::string_view> content;
  for (const auto& [name, value] : attributes) {
    if (name == "charset" && !label) label = value;
    if (name == "http-equiv" && AsciiLower(TrimAsciiSpace(value)) == "content-type")
      content_type = true;
    if (name == "content" && !content) content = value;
  }
  if (!label && content_type && content) label = CharsetInContent(*content);
  if (!label) return std::nullopt;
  std::optional<std::string> charset = SupportedCharset(*label);
  if (charset && charset->starts_with("utf-16")) return "utf-8";
  return charset;
}

// The charset that the page declares in one of its first <meta> tags.
std::optional<std::string> CharsetFromMeta(std::string_view bytes) {
  const std::string_view head = bytes.substr(0, kMetaScanBytes);
  std::size_t pos = 0;
  while ((pos = head.find('<', pos)) != head.npos) {
    const std::string_view at = head.substr(pos);
    if (at.starts_with("<!--")) {
      const std::size_t end = head.find("-->", pos + 4);
      if (end == head.npos) return std::nullopt;
      pos = end + 3;
    } else if (StartsWithIgnoringAsciiCase(at, "<meta") && at.size() > 5 &&
               (IsAsciiSpace(at[5]) || at[5] == '/')) {
      pos += 5;
      const std::optional<Attributes> attributes = ReadAttributes(head, pos);
      if (!attributes) return std::nullopt;
      if (auto charset = CharsetOfMetaTag(*attributes)) return charset;
    } else if (at.size() > 1 &&
               (IsAsciiLetter(at[1]) || (at[1] == '/' && at.size() > 2 && IsAsciiLetter(at[2])))) {
      // Another tag: step over its attributes, whose values may hold a ">".
      ++pos;
      while (pos < head.size() && !IsAsciiSpace(head[pos]) && head[pos] != '>') ++pos;
      if (!ReadAttributes(head, pos)) return std::nullopt;
    } else if (at.size() > 1 && (at[1] == '!' || at[1] == '/' || at[1] == '?')) {
      const std::size_t end = head.find('>', pos);
      if (end == head.npos) return std::nullopt;
      pos = end + 1;
    } else {
      ++pos;
    }
  }
  return std::nullopt;
}

// uchardet's name for the charset of `sample`, or "" when it has none.
std::string GuesserAnswer(std::string_view sample) {
  const std::unique_ptr<uchardet, decltype(&uchardet_delete)> detector(uchardet_new(),
                                                                       uchardet_delete);
  if (!detector || uchardet_handle_data(detector.get(), sample.data(), sample.size()) != 0) {
    return "";
  }
  uchardet_data_end(detector.get());
  const char* name = uchardet_get_charset(detector.get());
  return name != nullptr ? name : "";
}

// The charset that the text of a page without a label looks written in, when the guesser names
// one the program can read. Text read as ASCII up to its first non-ASCII byte is neither UTF-16
// nor UTF-32, whatever the guesser says after a byte pair that looks like a byte-order mark.
std::optional<std::string> GuessCharset(std::string_view bytes) {
  std::size_t first = 0;
  while (first < bytes.size() && static_cast<unsigned char>(bytes[first]) < 0x80) ++first;
  const std::string_view sample = bytes.substr(first, kGuessBytes);
  std::optional<std::string> name = SupportedCharset(GuesserAnswer(sample));
  if (!name || name->starts_with("utf-16") || name->starts_with("utf-32")) return std::nullopt;
  for (const auto& [guessed, charset] : kGuessedAs) {
    if (*name == guessed) return std::string(charset);
  }
  return name;
}

}  // namespace

std::optional<std::string> SupportedCharset(std::string_view label) {
  std::optional<std::string> name = NormalizeLabel(label);
  if (!name) return std::nullopt;
  if (std::find(kRefused.begin(), kRefused.end(), *name) != kRefused.end()) return std::nullopt;
  if (!IconvReads(*name)) return std::nullopt;
  return name;
}

std::string DetectCharset(std::string_view content_type, std::string_view bytes) {
  if (std::optional<std::string> parameter = CharsetParameter(content_type)) {
    if (auto charset = SupportedCharset(*parameter)) return *charset;
  }
  if (auto charset = CharsetFromBom(bytes)) return *charset;
  if (auto charset = CharsetFromMeta(bytes)) return *charset;
  if (IsValidUtf8(bytes)) return "utf-8";
  return GuessCharset(bytes).value_or("windows-1252");
}

}  // namespace webletter
