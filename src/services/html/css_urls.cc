#include "services/html/css_urls.h"

#include "base/ascii.h"
#include "services/html/url_resolve.h"

namespace webletter::html {
namespace {

constexpr bool IsNameCharacter(char c) {
  return IsAsciiLetterOrDigit(c) || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// The end of the string or comment that starts at `at`, or the text's end.
std::size_t SkipStringOrComment(std::string_view css, std::size_t at) {
  if (css[at] == '/') {
    const std::size_t close = css.find("*/", at + 2);
    return close == std::string_view::npos ? css.size() : close + 2;
  }
  const char quote = css[at];
  for (std::size_t i = at + 1; i < css.size(); ++i) {
    if (css[i] == '\\') {
      ++i;
    } else if (css[i] == quote || css[i] == '\n') {
      return i + 1;
    }
  }
  return css.size();
}

// Reads the URL after "url(" at `at`; false when it is not one to rewrite. `next` is where
// scanning goes on.
bool ReadUrl(std::string_view css, std::size_t at, CssUrl& url, std::size_t& next) {
  while (at < css.size() && IsAsciiSpace(css[at])) ++at;
  if (at < css.size() && (css[at] == '"' || css[at] == '\'')) {
    url.quote = css[at];
    url.begin = at + 1;
    url.end = css.find_first_of(std::string{url.quote, '\\', '\n'}, url.begin);
    if (url.end == std::string_view::npos || css[url.end] != url.quote) {
      next = SkipStringOrComment(css, at);
      return false;
    }
    next = url.end + 1;
    return true;
  }
  url.quote = 0;
  url.begin = at;
  url.end = css.find_first_of(")\\\"'( \t\n\r\f", at);
  if (url.end == std::string_view::npos) {
    next = css.size();
    return false;
  }
  std::size_t close = url.end;
  while (close < css.size() && IsAsciiSpace(css[close])) ++close;
  next = close;
  return close < css.size() && css[close] == ')' && url.end > url.begin;
}

}  // namespace

std::vector<CssUrl> FindCssUrls(std::string_view css) {
  std::vector<CssUrl> urls;
  std::size_t i = 0;
  while (i < css.size()) {
    const char c = css[i];
    if (c == '"' || c == '\'' || (c == '/' && i + 1 < css.size() && css[i + 1] == '*')) {
      i = SkipStringOrComment(css, i);
    } else if ((c == 'u' || c == 'U') && (i == 0 || !IsNameCharacter(css[i - 1])) &&
               StartsWithIgnoringAsciiCase(css.substr(i), "url(")) {
      CssUrl url;
      if (ReadUrl(css, i + 4, url, i)) urls.push_back(url);
    } else if (c == '\\') {
      i += 2;
    } else {
      ++i;
    }
  }
  return urls;
}

std::string EscapeCssUrl(std::string_view url, char quote) {
  std::string escaped;
  escaped.reserve(url.size());
  for (char c : url) {
    const bool ends_it =
        quote != 0 ? c == quote || c == '\\'
                   : c == '(' || c == ')' || c == '"' || c == '\'' || c == '\\' || IsAsciiSpace(c);
    if (ends_it) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool ResolveCssUrls(std::string_view css, std::string_view base, std::string& resolved) {
  resolved.clear();
  std::size_t copied = 0;
  for (const CssUrl& url : FindCssUrls(css)) {
    const auto absolute = ResolveReference(base, css.substr(url.begin, url.end - url.begin));
    if (!absolute) continue;
    resolved.append(css, copied, url.begin - copied);
    resolved += EscapeCssUrl(*absolute, url.quote);
    copied = url.end;
  }
  if (copied == 0) return false;
  resolved.append(css, copied);
  return true;
}

}  // namespace webletter::html
