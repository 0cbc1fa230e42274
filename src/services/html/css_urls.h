// The url(...) references of a style sheet or a style attribute, found by a small CSS scanner:
// comments and strings are passed over, so "/* url(a) */" and content: "url(b)" are not
// references. Quoted and unquoted forms: url(a.png), url( 'a.png' ), URL("a.png").
#ifndef WEBLETTER_SERVICES_HTML_CSS_URLS_H_
#define WEBLETTER_SERVICES_HTML_CSS_URLS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace webletter::html {

struct CssUrl {
  std::size_t begin = 0;  // the URL's text in the style sheet, inside any quotes
  std::size_t end = 0;
  char quote = 0;  // '"', '\'' or 0 for an unquoted URL
};

// The url(...) references of `css`, in order. A URL written with CSS escapes ("\)") or left
// unfinished at the end is passed over: it stays as written.
std::vector<CssUrl> FindCssUrls(std::string_view css);

// `url` written to stand between the quotes of a CssUrl (or unquoted when `quote` is 0): the
// characters that would end it escaped with "\".
std::string EscapeCssUrl(std::string_view url, char quote);

// Writes into `resolved` the style sheet `css` with each of its relative url(...) references
// resolved against `base`; false, and `resolved` empty, when there is none to change.
bool ResolveCssUrls(std::string_view css, std::string_view base, std::string& resolved);

}  // namespace webletter::html

#endif  // WEBLETTER_SERVICES_HTML_CSS_URLS_H_
