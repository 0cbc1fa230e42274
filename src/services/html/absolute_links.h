// A page whose relative references are all made absolute, so that its images, style sheets and
// links work in a mail reader, which takes no <base> and knows no address of the page.
//
// Rewritten: the values of the attributes href, src, srcset (each address of the list, its
// descriptors kept), poster, background, action and cite on any element, and the url(...)
// references in style attributes and <style> elements, quoted or not. They are resolved
// against the page's own <base href>, itself resolved against `final_url` (the address the page
// came from, after redirects), or against `final_url` when the page has none. References with a
// scheme ("https:", "mailto:", "data:", "javascript:"), a fragment alone ("#top") and empty
// values stay as they are.
//
// Everything else stays byte for byte as it came: each value is replaced where the parser found
// it in the page, never by writing the document anew, and the new value is written in the
// page's own charset (a character the charset lacks goes percent-encoded as UTF-8). Inside an
// attribute "&" is written "&amp;" and the value's quote as a character reference; an unquoted
// value that then needs quotes gets double quotes. A value that needs no change keeps its bytes,
// character references and all.
#ifndef WEBLETTER_SERVICES_HTML_ABSOLUTE_LINKS_H_
#define WEBLETTER_SERVICES_HTML_ABSOLUTE_LINKS_H_

#include <string>
#include <string_view>

#include "base/status.h"

namespace webletter {

// The page `page_bytes`, written in `charset` (an IANA label, as Page::charset holds it; empty
// means UTF-8), with its references made absolute. Fails with error::kInvalidArgument when
// `final_url` is not an absolute address ("https://host/...") or the charset cannot be read.
Result<std::string> MakeLinksAbsolute(std::string_view page_bytes, std::string_view charset,
                                      std::string_view final_url);

// Both parts of a newsletter from one parse, which is most of the cost of each: the page with
// its references made absolute (as MakeLinksAbsolute writes it) and its text (as
// RenderPlainText renders it; a page in another charset is read as UTF-8 first).
struct PageAndText {
  std::string page;
  std::string text;
};
Result<PageAndText> MakeLinksAbsoluteWithText(std::string_view page_bytes, std::string_view charset,
                                              std::string_view final_url);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_HTML_ABSOLUTE_LINKS_H_
