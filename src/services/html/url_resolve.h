// References of a page made absolute, as RFC 3986 resolves them against a base address, after
// the clean-up a browser does first: blanks and control characters around the reference are
// dropped, tabs and line breaks inside it removed, and "\" read as "/" before its query. The
// reference's own characters are kept as written (no case folding, no decoding of "%41"), except
// that blanks, control characters, quotes, "<", ">" and "`" come out percent-encoded, so that the
// result stays one word in a text and one value in an attribute.
#ifndef WEBLETTER_SERVICES_HTML_URL_RESOLVE_H_
#define WEBLETTER_SERVICES_HTML_URL_RESOLVE_H_

#include <optional>
#include <string>
#include <string_view>

namespace webletter::html {

// Whether `text` starts with a scheme and ":" ("https:", "mailto:", "data:").
bool HasScheme(std::string_view text);

// Whether `base` can serve as a base address: a scheme followed by "://" ("https://host/p").
bool IsBaseAddress(std::string_view base);

// `reference` made absolute against `base` (an IsBaseAddress). Nothing when the reference stays
// as it is: empty, a fragment alone ("#top"), or absolute already (it has a scheme, like
// "https:", "mailto:", "data:" or "javascript:").
std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference);

// Where a link to `reference` leads, for a reader: the reference made absolute, or as it is
// when it has a scheme or `base` is no base address; nothing for an empty reference, a fragment
// alone or a "javascript:" one.
std::optional<std::string> LinkTarget(std::string_view base, std::string_view reference);

// The base address of a page: `final_url` (the address it came from, after redirects), or the
// page's own <base href> resolved against it when that gives a base address (and not a
// "javascript:" or "data:" one).
std::string BaseAddress(std::string_view final_url, std::optional<std::string_view> base_href);

}  // namespace webletter::html

#endif  // WEBLETTER_SERVICES_HTML_URL_RESOLVE_H_
