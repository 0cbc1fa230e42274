// The page's charset and its decoding, which see whatever a web server sends: any Content-Type
// value and any bytes in, no crash; the charset is a plain lower-case label, and the decoded
// text is valid UTF-8 whatever the label.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_fields.h"
#include "services/page.h"

namespace webletter::fuzz {
namespace {

bool IsLabel(std::string_view charset) {
  if (charset.empty()) return false;
  for (const char c : charset) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                       c == '.' || c == ':';
    if (!plain) return false;
  }
  return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (byte < 0x80) {
      ++i;
      continue;
    } else if ((byte & 0xE0) == 0xC0) {
      length = 2;
      code = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3;
      code = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4;
      code = byte & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace
}  // namespace webletter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using namespace webletter::fuzz;
  const Fields fields(data, size);
  const std::string_view content_type = fields[0];
  const std::string_view bytes = fields[1];

  const std::string charset = DetectCharset(content_type, bytes);
  Check(IsLabel(charset), "the charset is a plain lower-case label");
  Check(IsUtf8(DecodeToUtf8(bytes, charset)), "the page decodes to valid UTF-8");
  // A label taken from the input itself decodes safely too.
  Check(IsUtf8(DecodeToUtf8(bytes, fields[2])), "any label decodes to valid UTF-8");
  return 0;
}
