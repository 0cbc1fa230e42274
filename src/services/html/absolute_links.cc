#include "services/html/absolute_links.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/standard_messages.h"
#include "services/html/css_urls.h"
#include "services/html/html_tree.h"
#include "services/html/plain_text.h"
#include "services/html/source_text.h"
#include "services/html/url_resolve.h"

namespace webletter {
namespace {

using html::HtmlTree;

// A replacement of the UTF-8 text's bytes [begin, end), already written for its place.
struct Edit {
  std::size_t begin;
  std::size_t end;
  std::string text;
};

constexpr std::array<std::string_view, 6> kAddressAttributes{"href",       "src",    "poster",
                                                             "background", "action", "cite"};

// `srcset` with each of its addresses resolved; false when none changes. Candidates are split
// as browsers split them: an address runs to the next blank (trailing commas end the list
// item), its descriptors to the next comma outside brackets.
bool ResolveSrcset(std::string_view srcset, std::string_view base, std::string& resolved) {
  resolved.clear();
  std::size_t copied = 0;
  for (std::size_t at = 0; at < srcset.size();) {
    while (at < srcset.size() && (IsAsciiSpace(srcset[at]) || srcset[at] == ',')) ++at;
    const std::size_t begin = at;
    while (at < srcset.size() && !IsAsciiSpace(srcset[at])) ++at;
    std::size_t end = at;
    while (end > begin && srcset[end - 1] == ',') --end;
    const bool has_descriptors = end == at;
    for (int depth = 0; has_descriptors && at < srcset.size() && (srcset[at] != ',' || depth > 0);
         ++at) {
      depth += srcset[at] == '(' ? 1 : srcset[at] == ')' && depth > 0 ? -1 : 0;
    }
    if (end == begin) continue;
    const auto absolute = html::ResolveReference(base, srcset.substr(begin, end - begin));
    if (!absolute) continue;
    resolved.append(srcset, copied, begin - copied);
    resolved += *absolute;
    copied = end;
  }
  if (copied == 0) return false;
  resolved.append(srcset, copied);
  return true;
}

// The attribute's new value, unescaped; false when it stays.
bool NewValue(const GumboAttribute& attribute, std::string_view base, std::string& value) {
  const std::string_view name = attribute.name;
  if (std::find(kAddressAttributes.begin(), kAddressAttributes.end(), name) !=
      kAddressAttributes.end()) {
    auto absolute = html::ResolveReference(base, attribute.value);
    if (absolute) value = std::move(*absolute);
    return absolute.has_value();
  }
  if (name == "srcset") return ResolveSrcset(attribute.value, base, value);
  if (name == "style") return html::ResolveCssUrls(attribute.value, base, value);
  return false;
}

// `value` as it may stand between `quote`s ('"', '\'', or 0 for none).
std::string EscapeAttribute(std::string_view value, char quote) {
  std::string escaped;
  escaped.reserve(value.size() + 16);
  for (const char c : value) {
    if (c == '&') {
      escaped += "&amp;";
    } else if (c == '"' && quote == '"') {
      escaped += "&quot;";
    } else if (c == '\'' && quote == '\'') {
      escaped += "&#39;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Where the attribute's value lies in `text`, quotes included: from its "=" (gumbo's own start
// of an unquoted value leaves out a character reference that begins it) to gumbo's end.
std::optional<std::pair<std::size_t, std::size_t>> ValueSpan(const GumboAttribute& attribute,
                                                             std::string_view text) {
  const GumboStringPiece& name = attribute.original_name;
  const GumboStringPiece& value = attribute.original_value;
  const auto within = [&](const GumboStringPiece& piece) {
    return piece.length > 0 && piece.data >= text.data() &&
           piece.data + piece.length <= text.data() + text.size();
  };
  if (!within(name) || !within(value)) return std::nullopt;
  std::size_t begin = static_cast<std::size_t>(name.data - text.data()) + name.length;
  const std::size_t end = static_cast<std::size_t>(value.data - text.data()) + value.length;
  while (begin < end && IsAsciiSpace(text[begin])) ++begin;
  if (begin >= end || text[begin] != '=') return std::nullopt;
  ++begin;
  while (begin < end && IsAsciiSpace(text[begin])) ++begin;
  if (begin >= end) return std::nullopt;
  return std::pair{begin, end};
}

void RewriteAttribute(const GumboAttribute& attribute, std::string_view text, std::string_view base,
                      std::vector<Edit>& edits) {
  if (attribute.value[0] == '\0') return;
  const auto span = ValueSpan(attribute, text);
  std::string value;
  if (!span || !NewValue(attribute, base, value)) return;
  if (html::ValidPrefix(value) < value.size()) value = html::ValidUtf8(value);
  const auto [begin, end] = *span;
  const char first = text[begin];
  if (end - begin >= 2 && (first == '"' || first == '\'') && text[end - 1] == first) {
    edits.push_back({begin + 1, end - 1, EscapeAttribute(value, first)});
  } else if (value.find_first_of(" \t\n\r\f\"'=<>`") == std::string::npos) {
    edits.push_back({begin, end, EscapeAttribute(value, 0)});
  } else {
    edits.push_back({begin, end, '"' + EscapeAttribute(value, '"') + '"'});
  }
}

void RewriteStyleSheet(const GumboNode& style, std::string_view text, std::string_view base,
                       std::vector<Edit>& edits) {
  const GumboVector& children = style.v.element.children;
  for (unsigned i = 0; i < children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(children.data[i]);
    if (child->type != GUMBO_NODE_TEXT && child->type != GUMBO_NODE_WHITESPACE) continue;
    const GumboStringPiece& css = child->v.text.original_text;
    if (css.data < text.data() || css.data + css.length > text.data() + text.size()) continue;
    const std::string_view sheet(css.data, css.length);
    const auto offset = static_cast<std::size_t>(css.data - text.data());
    for (const html::CssUrl& url : html::FindCssUrls(sheet)) {
      auto absolute = html::ResolveReference(base, sheet.substr(url.begin, url.end - url.begin));
      if (absolute) {
        edits.push_back(
            {offset + url.begin, offset + url.end, html::EscapeCssUrl(*absolute, url.quote)});
      }
    }
  }
}

std::vector<Edit> FindEdits(const HtmlTree& tree, std::string_view text,
                            std::string_view final_url) {
  const std::string base = html::BaseAddress(final_url, tree.BaseHref());
  std::vector<Edit> edits;
  html::WalkTree(
      tree.document(),
      [&](const GumboNode* node) {
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) return true;
        const GumboElement& element = node->v.element;
        // The <base> element's own address is resolved against the page's address.
        const std::string_view own_base = element.tag == GUMBO_TAG_BASE ? final_url : base;
        for (unsigned i = 0; i < element.attributes.length; ++i) {
          RewriteAttribute(*static_cast<const GumboAttribute*>(element.attributes.data[i]), text,
                           own_base, edits);
        }
        if (element.tag == GUMBO_TAG_STYLE && element.tag_namespace == GUMBO_NAMESPACE_HTML) {
          RewriteStyleSheet(*node, text, base, edits);
        }
        return true;
      },
      [](const GumboNode*) {});
  // Elements that the parser copied (formatting elements reopened after a misnested tag) share
  // their attributes' places: one edit a place.
  std::sort(edits.begin(), edits.end(),
            [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
  std::vector<Edit> kept;
  for (Edit& edit : edits) {
    if (kept.empty() || edit.begin >= kept.back().end) kept.push_back(std::move(edit));
  }
  return kept;
}

// The page rewritten, and its text when `text` is given.
Result<std::string> Rewrite(std::string_view page_bytes, std::string_view charset,
                            std::string_view final_url, std::string* text) {
  if (!html::IsBaseAddress(final_url)) return Status(error::kInvalidArgument);
  Result<html::SourceText> source = html::SourceText::Decode(page_bytes, charset);
  if (!source.ok()) return source.status();
  const std::string_view utf8 = source->utf8();
  std::vector<Edit> edits;
  {
    const HtmlTree tree(utf8);  // many times the page: gone before the page is written
    edits = FindEdits(tree, utf8, final_url);
    if (text != nullptr) *text = html::RenderTreeText(tree, final_url);
  }
  // Room for every new value beside the old: the page is never moved while it grows.
  std::size_t added = 0;
  for (const Edit& edit : edits) added += edit.text.size();
  std::string page;
  page.reserve(page_bytes.size() + added);
  std::size_t copied = 0;
  for (const Edit& edit : edits) {
    const std::size_t begin = source->SourceOffset(edit.begin);
    page.append(page_bytes, copied, begin - copied);
    source->AppendEncoded(edit.text, page);
    copied = source->SourceOffset(edit.end);
  }
  page.append(page_bytes, copied);
  return page;
}

}  // namespace

Result<std::string> MakeLinksAbsolute(std::string_view page_bytes, std::string_view charset,
                                      std::string_view final_url) {
  return Rewrite(page_bytes, charset, final_url, nullptr);
}

Result<PageAndText> MakeLinksAbsoluteWithText(std::string_view page_bytes, std::string_view charset,
                                              std::string_view final_url) {
  PageAndText parts;
  Result<std::string> page = Rewrite(page_bytes, charset, final_url, &parts.text);
  if (!page.ok()) return page.status();
  parts.page = std::move(page).value();
  return parts;
}

}  // namespace webletter
