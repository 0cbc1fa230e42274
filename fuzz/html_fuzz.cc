// A page's text and its absolute links, from whatever a web server sends. The text is valid
// UTF-8, ends with one line break (or is empty), has no blank at the end of a line and no line
// over 76 characters but one that holds a single word (pages without preformatted text). The
// rewritten page reads as the page itself: its text, links included, is the same (but for
// characters that the parser reads as U+FFFD in a page); a page without any attribute value or
// url() comes back unchanged, in any charset.
//
// Input fields (NUL-separated): a charset label, the page's bytes.
#include <glib.h>

#include <algorithm>
#include <array>
#include <string>

#include "base/ascii.h"
#include "base/standard_messages.h"
#include "fuzz_fields.h"
#include "services/html/absolute_links.h"
#include "services/html/plain_text.h"

namespace {

constexpr const char* kFinalUrl = "https://fuzz.example/a/b.html?q";

bool IsUtf8(std::string_view text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

std::size_t Width(std::string_view line) {
  return static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool HasPreformatted(std::string_view page) {
  static constexpr std::array<std::string_view, 4> kTags{"<pre", "<listing", "<xmp", "<plaintext"};
  const std::string lower = webletter::AsciiLower(page);
  return std::any_of(kTags.begin(), kTags.end(),
                     [&](std::string_view tag) { return lower.find(tag) != std::string::npos; });
}

// The parser reads a noncharacter or a control character in the page as U+FFFD, but the one
// that a character reference names as itself; the rewritten page has it as it is.
std::string AsParsed(std::string_view text) {
  std::string parsed;
  for (const char* at = text.data(); at < text.data() + text.size(); at = g_utf8_next_char(at)) {
    const gunichar c = g_utf8_get_char(at);
    const bool invalid = (c >= 0x1 && c <= 0x8) || c == 0xB || (c >= 0xE && c <= 0x1F) ||
                         (c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) ||
                         (c & 0xFFFE) == 0xFFFE;
    parsed.append(invalid
                      ? std::string_view("\xEF\xBF\xBD")
                      : std::string_view(at, static_cast<std::size_t>(g_utf8_next_char(at) - at)));
  }
  return parsed;
}

void CheckText(std::string_view page, const std::string& text) {
  using webletter::fuzz::Check;
  Check(IsUtf8(text), "the text is valid UTF-8", text);
  Check(text.empty() || (text.ends_with('\n') && !text.ends_with("\n\n")),
        "the text ends with one line break", text);
  const bool preformatted = HasPreformatted(page);
  for (std::string_view rest = text; !rest.empty();) {
    const std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(line.size() + 1, rest.size()));
    Check(!line.ends_with(' ') && !line.ends_with('\t'), "no blank ends a line", line);
    // Past 76 only an indent and a list marker (at most 41 characters) come before the word.
    const std::size_t blank = line.rfind(' ');
    Check(preformatted || Width(line) <= 76 || blank == std::string_view::npos || blank < 42,
          "lines longer than 76 characters hold one word", line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using fuzz::Check;
  const auto fields = fuzz::Fields(data, size, 2);
  const std::string_view charset = fields[0];
  const std::string_view page = fields[1];

  const std::string text = RenderPlainText(page, kFinalUrl);
  CheckText(page, text);

  const Result<std::string> rewritten = MakeLinksAbsolute(page, "utf-8", kFinalUrl);
  Check(rewritten.ok(), "a UTF-8 page is always rewritten");
  const std::string rewritten_text = RenderPlainText(*rewritten, kFinalUrl);
  Check(IsUtf8(rewritten_text), "the text is valid UTF-8", rewritten_text);
  Check(AsParsed(rewritten_text) == AsParsed(text), "the rewritten page reads the same",
        *rewritten);

  const Result<std::string> in_charset = MakeLinksAbsolute(page, charset, kFinalUrl);
  Check(in_charset.ok() || in_charset.status().number() == error::kInvalidArgument,
        "a charset that cannot be read is refused");
  const std::string lower = AsciiLower(page);
  if (in_charset.ok() && page.find('=') == std::string_view::npos &&
      lower.find("url(") == std::string::npos) {
    Check(*in_charset == page, "a page without values comes back unchanged", charset);
  }
  return 0;
}
