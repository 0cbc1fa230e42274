#include "services/html/html_tree.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/ascii.h"

namespace webletter::html {

// Gumbo allocates and frees a small block for nearly every character token; handing out pieces
// of large blocks and freeing nothing until the end saves a fifth of the parse, and the tree
// goes at once with the arena (gumbo's own clean-up recurses once a level).
struct HtmlTree::Arena {
  std::vector<char*> blocks;
  char* next = nullptr;
  std::size_t left = 0;
  std::size_t block_size = 64u << 10;

  ~Arena() {
    for (char* block : blocks) std::free(block);
  }

  static void* Allocate(void* self, std::size_t size) {
    auto& arena = *static_cast<Arena*>(self);
    size = (size + 15) & ~std::size_t{15};
    if (size > arena.left) {
      const std::size_t length = std::max(size, arena.block_size);
      arena.block_size = std::min<std::size_t>(arena.block_size * 2, 16u << 20);
      char* block = static_cast<char*>(std::malloc(length));
      if (block == nullptr) std::abort();  // gumbo cannot report a failed allocation
      arena.blocks.push_back(block);
      arena.next = block;
      arena.left = length;
    }
    void* piece = arena.next;
    arena.next += size;
    arena.left -= size;
    return piece;
  }

  static void Free(void*, void*) {}
};

HtmlTree::HtmlTree(std::string_view utf8) : text_(utf8), arena_(std::make_unique<Arena>()) {
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = &Arena::Allocate;
  options.deallocator = &Arena::Free;
  options.userdata = arena_.get();
  options.max_errors = 0;  // the errors themselves are not needed
  output_ = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
}

HtmlTree::~HtmlTree() = default;

namespace {

std::optional<std::string_view> BaseHrefOf(const GumboNode* node) {
  if (node->type != GUMBO_NODE_ELEMENT || node->v.element.tag != GUMBO_TAG_BASE) {
    return std::nullopt;
  }
  return Attribute(node, "href");
}

bool MayHoldBase(std::string_view text) {
  for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    if (StartsWithIgnoringAsciiCase(text.substr(at + 1), "base")) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string_view> HtmlTree::BaseHref() const {
  // Where it nearly always is: in the head.
  const GumboVector& sections = output_->root->v.element.children;
  for (unsigned i = 0; i < sections.length; ++i) {
    const auto* head = static_cast<const GumboNode*>(sections.data[i]);
    if (head->type != GUMBO_NODE_ELEMENT || head->v.element.tag != GUMBO_TAG_HEAD) continue;
    const GumboVector& children = head->v.element.children;
    for (unsigned j = 0; j < children.length; ++j) {
      if (auto href = BaseHrefOf(static_cast<const GumboNode*>(children.data[j]))) return href;
    }
  }
  if (!MayHoldBase(text_)) return std::nullopt;
  std::optional<std::string_view> href;
  WalkTree(
      document(),
      [&](const GumboNode* node) {
        if (!href) href = BaseHrefOf(node);
        return !href;
      },
      [](const GumboNode*) {});
  return href;
}

const GumboVector* Children(const GumboNode* node) {
  switch (node->type) {
    case GUMBO_NODE_DOCUMENT:
      return &node->v.document.children;
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
      return &node->v.element.children;
    default:
      return nullptr;
  }
}

std::optional<std::string_view> Attribute(const GumboNode* node, const char* name) {
  if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) return std::nullopt;
  const GumboAttribute* attribute = gumbo_get_attribute(&node->v.element.attributes, name);
  if (attribute == nullptr) return std::nullopt;
  return std::string_view(attribute->value);
}

}  // namespace webletter::html
