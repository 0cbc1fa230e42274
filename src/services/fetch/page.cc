#include "services/fetch/page.h"

#include "services/fetch/text_decoding.h"

namespace webletter {

std::string Page::DecodedText() const { return DecodeToUtf8(bytes, charset); }

bool Page::Contains(std::string_view text) const {
  return text.empty() || DecodedTextHolds(bytes, charset, text);
}

}  // namespace webletter
