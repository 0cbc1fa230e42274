// The text that a reader of a page sees, for the text/plain part that goes with the page in a
// newsletter.
//
// Blocks (the title, paragraphs, headings, lists, tables, quotes, preformatted text) are
// separated by an empty line; sections, rows and list items start lines. List items start with
// "- " (numbered lists "1. ", "2. ", ...), nested lists indented by two blanks a level; a table
// row is one line, its cells separated by " | " (empty cells left out). A link reads "text
// <address>", the address absolute (against the page's <base href> and `base_url`), left out
// when the text already is the address, for a fragment alone and for "javascript:" links; an
// image reads as its alt text (nothing without one); <br> breaks the line. Left out: scripts,
// style sheets, <noscript>, <template>, embedded frames, objects, media and SVG, form fields,
// and hidden content (the hidden attribute, aria-hidden="true", style="display: none").
// Character references are decoded. Blanks collapse as in a browser, except in <pre>, which is
// kept as it is; other lines are wrapped at 76 characters at blanks (a longer word stands whole
// on a line of its own). No line ends in a blank, and the text ends with one line break, or is
// empty when the page shows no text.
//
// The addresses are those that MakeLinksAbsolute writes into the page: the text of a page and
// of its rewritten copy are the same.
#ifndef WEBLETTER_SERVICES_HTML_PLAIN_TEXT_H_
#define WEBLETTER_SERVICES_HTML_PLAIN_TEXT_H_

#include <string>
#include <string_view>

namespace webletter {

namespace html {
class HtmlTree;
// The text of a page already parsed (see RenderPlainText).
std::string RenderTreeText(const HtmlTree& tree, std::string_view base_url);
}  // namespace html

// The text of the page `utf8_html` (UTF-8: DecodeToUtf8 turns a page in another charset into
// it; invalid bytes read as U+FFFD), which came from `base_url` (relative links are shown as
// written when that is no absolute address). UTF-8 out.
std::string RenderPlainText(std::string_view utf8_html, std::string_view base_url);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_HTML_PLAIN_TEXT_H_
