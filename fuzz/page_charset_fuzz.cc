// The page's charset and text, which come from whatever a web server sends: the charset is a
// plain lower-case label, the decoded text is valid UTF-8 whatever the label, and a page that is
// valid UTF-8 already decodes to itself; a search finds what the decoded text holds.
//
// Input fields (NUL-separated): Content-Type value, a charset label, the page's bytes.
#include <glib.h>

#include <string>

#include "fuzz_fields.h"
#include "services/fetch/charset.h"
#include "services/fetch/page.h"
#include "services/fetch/text_decoding.h"

namespace {

// Valid UTF-8, NUL bytes allowed (GLib counts them as invalid).
bool IsUtf8(std::string_view text) {
  for (std::size_t nul = text.find('\0');; nul = text.find('\0')) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(std::min(nul, text.size())), nullptr)) {
      return false;
    }
    if (nul == std::string_view::npos) return true;
    text.remove_prefix(nul + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using fuzz::Check;
  const auto fields = fuzz::Fields(data, size, 3);
  const Page page{std::string(fields[2]), DetectCharset(fields[0], fields[2])};
  Check(!page.charset.empty() &&
            page.charset.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_.:") ==
                std::string::npos,
        "the charset is a plain lower-case label", page.charset);
  const std::string text = page.DecodedText();
  Check(IsUtf8(text), "the page's text is valid UTF-8", text);
  Check(IsUtf8(DecodeToUtf8(page.bytes, fields[1])), "any label decodes to valid UTF-8");
  const Page labelled{page.bytes, std::string(fields[1])};
  Check(labelled.Contains("<a b") == (labelled.DecodedText().find("<a b") != std::string::npos),
        "a text is found where the decoded page holds it", labelled.charset);
  if (IsUtf8(page.bytes) && !page.bytes.starts_with("\xEF\xBB\xBF")) {
    Check(DecodeToUtf8(page.bytes, "utf-8") == page.bytes, "UTF-8 decodes to itself", text);
  }
  return 0;
}
