#include "services/html/plain_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
#include <vector>

#include "base/ascii.h"
#include "services/html/html_tree.h"
#include "services/html/text_layout.h"
#include "services/html/url_resolve.h"

namespace webletter {
namespace {

using html::Attribute;
using html::TextLayout;

// What an element is to the reader (inline first: what the table below holds by default).
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

// Elements not named here are inline.
Kind KindOf(const GumboElement& element) {
  static const auto kKinds = [] {
    std::array<Kind, GUMBO_TAG_LAST + 1> kinds{};
    const auto set = [&kinds](Kind kind, std::initializer_list<GumboTag> tags) {
      for (const GumboTag tag : tags) kinds[tag] = kind;
    };
    set(Kind::kLeftOut, {GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_NOSCRIPT, GUMBO_TAG_TEMPLATE,
                         GUMBO_TAG_IFRAME, GUMBO_TAG_OBJECT, GUMBO_TAG_EMBED, GUMBO_TAG_CANVAS,
                         GUMBO_TAG_AUDIO, GUMBO_TAG_VIDEO, GUMBO_TAG_SELECT, GUMBO_TAG_DATALIST,
                         GUMBO_TAG_TEXTAREA, GUMBO_TAG_INPUT, GUMBO_TAG_FRAMESET});
    set(Kind::kBlock, {GUMBO_TAG_P, GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4,
                       GUMBO_TAG_H5, GUMBO_TAG_H6, GUMBO_TAG_TITLE, GUMBO_TAG_BLOCKQUOTE,
                       GUMBO_TAG_FIGURE, GUMBO_TAG_HR, GUMBO_TAG_ADDRESS, GUMBO_TAG_FIELDSET,
                       GUMBO_TAG_DETAILS, GUMBO_TAG_TABLE, GUMBO_TAG_DL, GUMBO_TAG_CENTER});
    set(Kind::kLine,
        {GUMBO_TAG_DIV, GUMBO_TAG_SECTION, GUMBO_TAG_ARTICLE, GUMBO_TAG_HEADER, GUMBO_TAG_FOOTER,
         GUMBO_TAG_NAV, GUMBO_TAG_ASIDE, GUMBO_TAG_MAIN, GUMBO_TAG_TR, GUMBO_TAG_DT, GUMBO_TAG_DD,
         GUMBO_TAG_FIGCAPTION, GUMBO_TAG_CAPTION, GUMBO_TAG_SUMMARY, GUMBO_TAG_LEGEND,
         GUMBO_TAG_HGROUP, GUMBO_TAG_FORM, GUMBO_TAG_BODY});
    set(Kind::kList, {GUMBO_TAG_UL, GUMBO_TAG_OL, GUMBO_TAG_MENU, GUMBO_TAG_DIR});
    set(Kind::kListItem, {GUMBO_TAG_LI});
    set(Kind::kCell, {GUMBO_TAG_TD, GUMBO_TAG_TH});
    set(Kind::kPreformatted,
        {GUMBO_TAG_PRE, GUMBO_TAG_LISTING, GUMBO_TAG_XMP, GUMBO_TAG_PLAINTEXT});
    set(Kind::kLineBreak, {GUMBO_TAG_BR});
    set(Kind::kImage, {GUMBO_TAG_IMG});
    set(Kind::kLink, {GUMBO_TAG_A});
    return kinds;
  }();
  if (element.tag_namespace == GUMBO_NAMESPACE_SVG) return Kind::kLeftOut;
  return element.tag <= GUMBO_TAG_LAST ? kKinds[element.tag] : Kind::kInline;
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
        !EqualsIgnoringAsciiCase(TrimAsciiSpace(declaration.substr(0, colon)), "display")) {
      continue;
    }
    std::string_view value = TrimAsciiSpace(declaration.substr(colon + 1));
    if (const std::size_t bang = value.find('!'); bang != std::string_view::npos) {
      value = TrimAsciiSpace(value.substr(0, bang));
    }
    none = EqualsIgnoringAsciiCase(value, "none");
  }
  return none;
}

bool IsHidden(const GumboNode* element) {
  if (Attribute(element, "hidden")) return true;
  if (const auto aria = Attribute(element, "aria-hidden");
      aria && EqualsIgnoringAsciiCase(TrimAsciiSpace(*aria), "true")) {
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
        const std::string_view digits = TrimAsciiSpace(*value);
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
