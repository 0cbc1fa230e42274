#include "services/html/plain_text.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "base/ascii.h"
#include "services/html/html_tree.h"
#include "services/html/text_layout.h"
#include "services/html/url_resolve.h"

namespace webletter {
namespace {

using html::Attribute;
using html::TextLayout;

// What an element is to the reader.
enum class Kind {
  kInline,
  kLeftOut,
  kBlock,  // an empty line before and after
  kLine,   // starts and ends a line
  kList,
  kListItem,
  kCell,
  kPreformatted,  // a block kept as it is
  kLineBreak,
  kImage,
  kLink,
};

constexpr std::size_t kDeepestIndent = 20;

Kind KindOf(const GumboElement& element) {
  if (element.tag_namespace == GUMBO_NAMESPACE_SVG) return Kind::kLeftOut;
  switch (element.tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_FRAMESET:
      return Kind::kLeftOut;
    case GUMBO_TAG_P:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_CENTER:
      return Kind::kBlock;
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_DIR:
      return Kind::kList;
    case GUMBO_TAG_LI:
      return Kind::kListItem;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
      return Kind::kCell;
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT:
      return Kind::kPreformatted;
    case GUMBO_TAG_BR:
      return Kind::kLineBreak;
    case GUMBO_TAG_IMG:
      return Kind::kImage;
    case GUMBO_TAG_A:
      return Kind::kLink;
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_BODY:
      return Kind::kLine;
    default:
      return Kind::kInline;
  }
}

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
  };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Whether a style attribute says display: none (its last display declaration decides).
bool DisplaysNone(std::string_view style) {
  bool none = false;
  while (!style.empty()) {
    const std::size_t end = std::min(style.find(';'), style.size());
    const std::string_view declaration = style.substr(0, end);
    style.remove_prefix(std::min(end + 1, style.size()));
    const std::size_t colon = declaration.find(':');
    if (colon == std::string_view::npos ||
        !EqualsIgnoringAsciiCase(TrimBlanks(declaration.substr(0, colon)), "display")) {
      continue;
    }
    std::string_view value = TrimBlanks(declaration.substr(colon + 1));
    if (const std::size_t bang = value.find('!'); bang != std::string_view::npos) {
      value = TrimBlanks(value.substr(0, bang));
    }
    none = EqualsIgnoringAsciiCase(value, "none");
  }
  return none;
}

bool IsHidden(const GumboNode* element) {
  if (Attribute(element, "hidden")) return true;
  if (const auto aria = Attribute(element, "aria-hidden");
      aria && EqualsIgnoringAsciiCase(TrimBlanks(*aria), "true")) {
    return true;
  }
  const auto style = Attribute(element, "style");
  return style && DisplaysNone(*style);
}

// Whether a link's text already says where it leads ("example.org" for "https://example.org/",
// "a@example.org" for "mailto:a@example.org").
bool TextIsTarget(std::string_view text, std::string_view target) {
  const auto bare = [](std::string_view address) {
    for (const std::string_view scheme : {"mailto:", "https://", "http://"}) {
      if (StartsWithIgnoringAsciiCase(address, scheme)) address.remove_prefix(scheme.size());
    }
    if (address.ends_with('/')) address.remove_suffix(1);
    return address;
  };
  return text == target || bare(text) == bare(target);
}

class Renderer {
 public:
  explicit Renderer(std::string base) : base_(std::move(base)) {}

  bool Enter(const GumboNode* node);
  void Leave(const GumboNode* node);
  std::string Finish() { return layout_.Finish(); }

 private:
  struct List {
    bool numbered;
    long next;
  };
  struct Link {
    TextLayout::Mark mark;
    std::string target;  // empty for none
  };

  void EnterElement(const GumboNode* element, Kind kind);
  void StartListItem();
  void EndLink();

  TextLayout layout_;
  std::string base_;
  std::vector<const GumboNode*> open_;  // the elements entered and shown, innermost last
  std::vector<List> lists_;
  std::vector<std::size_t> indents_;
  std::vector<Link> links_;
  int preformatted_ = 0;
};

bool Renderer::Enter(const GumboNode* node) {
  switch (node->type) {
    case GUMBO_NODE_DOCUMENT:
      return true;
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_WHITESPACE:
    case GUMBO_NODE_CDATA:
      if (preformatted_ > 0) {
        layout_.Preformatted(node->v.text.text);
      } else {
        layout_.Text(node->v.text.text);
      }
      return false;
    case GUMBO_NODE_ELEMENT: {
      const Kind kind = KindOf(node->v.element);
      if (kind == Kind::kLeftOut || IsHidden(node)) return false;
      EnterElement(node, kind);
      open_.push_back(node);
      return true;
    }
    default:
      return false;
  }
}

void Renderer::EnterElement(const GumboNode* element, Kind kind) {
  switch (kind) {
    case Kind::kBlock:
      layout_.Break(2);
      break;
    case Kind::kList: {
      layout_.Break(lists_.empty() ? 2 : 1);
      long start = 1;
      if (const auto value = Attribute(element, "start")) {
        const std::string_view digits = TrimBlanks(*value);
        std::from_chars(digits.data(), digits.data() + digits.size(), start);
      }
      lists_.push_back({element->v.element.tag == GUMBO_TAG_OL, start});
      break;
    }
    case Kind::kLine:
      layout_.Break(1);
      break;
    case Kind::kListItem:
      StartListItem();
      break;
    case Kind::kCell:
      layout_.CellSeparator();
      break;
    case Kind::kPreformatted:
      layout_.Break(2);
      ++preformatted_;
      break;
    case Kind::kLineBreak:
      layout_.LineBreak();
      break;
    case Kind::kImage:
      if (const auto alt = Attribute(element, "alt")) layout_.Text(*alt);
      break;
    case Kind::kLink: {
      const auto href = Attribute(element, "href");
      links_.push_back({layout_.Here(), href ? html::LinkTarget(base_, *href).value_or("") : ""});
      break;
    }
    default:
      break;
  }
}

void Renderer::StartListItem() {
  layout_.Break(1);
  std::string marker = "- ";
  if (!lists_.empty() && lists_.back().numbered)
    marker = std::to_string(lists_.back().next++) + ". ";
  const std::size_t depth = std::max<std::size_t>(lists_.size(), 1);
  const std::size_t indent = std::min(2 * (depth - 1), kDeepestIndent);
  indents_.push_back(indent + marker.size());
  layout_.SetMarker(std::string(indent, ' ') + marker);
  layout_.SetIndent(indents_.back());
}

void Renderer::Leave(const GumboNode* node) {
  if (open_.empty() || open_.back() != node) return;  // not shown, or no element
  open_.pop_back();
  switch (KindOf(node->v.element)) {
    case Kind::kBlock:
      layout_.Break(2);
      break;
    case Kind::kList:
      lists_.pop_back();
      layout_.Break(lists_.empty() ? 2 : 1);
      break;
    case Kind::kLine:
      layout_.Break(1);
      break;
    case Kind::kListItem:
      layout_.Break(1);
      indents_.pop_back();
      layout_.SetIndent(indents_.empty() ? 0 : indents_.back());
      break;
    case Kind::kPreformatted:
      --preformatted_;
      layout_.Break(2);
      break;
    case Kind::kLink:
      EndLink();
      break;
    default:
      break;
  }
}

void Renderer::EndLink() {
  const Link link = std::move(links_.back());
  links_.pop_back();
  if (link.target.empty()) return;
  const auto text = layout_.TextSince(link.mark);
  if (text && TextIsTarget(*text, link.target)) return;
  layout_.Word("<" + link.target + ">");
}

}  // namespace

namespace html {

std::string RenderTreeText(const HtmlTree& tree, std::string_view base_url) {
  Renderer renderer(BaseAddress(base_url, tree.BaseHref()));
  WalkTree(
      tree.document(), [&](const GumboNode* node) { return renderer.Enter(node); },
      [&](const GumboNode* node) { renderer.Leave(node); });
  return renderer.Finish();
}

}  // namespace html

std::string RenderPlainText(std::string_view utf8_html, std::string_view base_url) {
  return html::RenderTreeText(html::HtmlTree(utf8_html), base_url);
}

}  // namespace webletter
