#include "services/fetch/page.h"

#include "services/fetch/text_decoding.h"

namespace webletter {

std::string Page::DecodedText() const { return DecodeToUtf8(bytes, charset); }

std::string_view Page::DecodedText(std::string& storage) const {
  if (const std::optional<std::string_view> as_is = Utf8AsIs(bytes, charset)) return *as_is;
  storage = DecodedText();
  return storage;
}

bool Page::Contains(std::string_view text) const {
  return text.empty() || DecodedTextHolds(bytes, charset, text);
}

}  // namespace webletter
