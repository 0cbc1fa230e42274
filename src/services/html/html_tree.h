// One page parsed by gumbo, an HTML5 parser (the tree a browser builds, whatever the mistakes in
// the page), and what the renderer and the link rewriter ask of that tree. The tree's nodes point
// into the text they were parsed from, which must outlive them; positions are byte offsets into
// that text. The tree is walked without recursion, so a page nested a million levels deep takes
// no stack; its memory is one arena, given back at once.
#ifndef WEBLETTER_SERVICES_HTML_HTML_TREE_H_
#define WEBLETTER_SERVICES_HTML_HTML_TREE_H_

#include <gumbo.h>

#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace webletter::html {

class HtmlTree {
 public:
  // Parses `utf8` (invalid bytes read as U+FFFD).
  explicit HtmlTree(std::string_view utf8);
  ~HtmlTree();
  HtmlTree(const HtmlTree&) = delete;
  HtmlTree& operator=(const HtmlTree&) = delete;

  const GumboNode* document() const { return output_->document; }
  // The page's own <base href> value, when it has one (the first, as browsers take it).
  std::optional<std::string_view> BaseHref() const;

 private:
  struct Arena;
  std::string_view text_;
  std::unique_ptr<Arena> arena_;
  GumboOutput* output_;
};

// The element's or the document's children; none for other nodes.
const GumboVector* Children(const GumboNode* node);

// The value of the element's attribute `name` (gumbo's decoded value), if it has one.
std::optional<std::string_view> Attribute(const GumboNode* node, const char* name);

// Calls `enter(node)` for every node under and including `root` in document order, and
// `leave(node)` after its children; when `enter` returns false the children are passed over
// (and `leave` still called).
template <typename Enter, typename Leave>
void WalkTree(const GumboNode* root, Enter enter, Leave leave) {
  std::vector<std::pair<const GumboNode*, unsigned>> stack;
  stack.emplace_back(root, 0);
  if (!enter(root)) stack.back().second = ~0u;
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const GumboVector* children = Children(node);
    if (children == nullptr || next >= children->length) {
      leave(node);
      stack.pop_back();
      continue;
    }
    const auto* child = static_cast<const GumboNode*>(children->data[next++]);
    stack.emplace_back(child, enter(child) ? 0u : ~0u);
  }
}

}  // namespace webletter::html

#endif  // WEBLETTER_SERVICES_HTML_HTML_TREE_H_
