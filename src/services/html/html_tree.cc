#include "services/html/html_tree.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/ascii.h"

namespace webletter::html {

// Gumbo allocates and frees a small block for nearly every character token; handing out pieces
// of large blocks and freeing nothing until the end saves a fifth of the parse, and the tree
// goes at once with the arena (gumbo's own clean-up recurses once a level). The tree takes about
// 17 times the page, all of it written once: blocks of 2 MiB and more are asked of the kernel in
// huge pages, one page fault where 512 small pages would each take one (most of the parse's
// time on a virtual machine, where a fault is dear). Without huge pages they are small pages.
struct HtmlTree::Arena {
  static constexpr std::size_t kHugePage = 2u << 20;
  static constexpr std::size_t kLargestBlock = 64u << 20;

  struct Block {
    char* start;
    std::size_t length;
  };
  std::vector<Block> blocks;
  char* next = nullptr;
  std::size_t left = 0;
  std::size_t block_size;

  // A page of some size goes straight to huge blocks.
  explicit Arena(std::size_t text_size)
      : block_size(text_size < (64u << 10) ? std::size_t{64} << 10 : kHugePage) {}

  ~Arena() {
    for (const Block& block : blocks) {
      if (block.length >= kHugePage) {
        munmap(block.start, block.length);
      } else {
        std::free(block.start);
      }
    }
  }

  // `length` bytes (a multiple of kHugePage) that start at a multiple of it, in huge pages
  // where the kernel has them.
  static char* MapHugeBlock(std::size_t length) {
    const std::size_t span = length + kHugePage;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) std::abort();  // gumbo cannot report a failed allocation
    const auto begin = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (begin + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
    if (aligned > begin) munmap(mapped, aligned - begin);
    if (begin + span > aligned + length) {
      munmap(reinterpret_cast<void*>(aligned + length), begin + span - aligned - length);
    }
    auto* block = reinterpret_cast<char*>(aligned);
    madvise(block, length, MADV_HUGEPAGE);  // a hint: small pages where it is refused
    return block;
  }

  void AddBlock(std::size_t size) {
    std::size_t length = std::max(size, block_size);
    char* start = nullptr;
    if (length >= kHugePage) {
      length = (length + kHugePage - 1) & ~(kHugePage - 1);
      start = MapHugeBlock(length);
    } else {
      start = static_cast<char*>(std::malloc(length));
      if (start == nullptr) std::abort();
    }
    block_size = std::min(block_size * 2, kLargestBlock);
    blocks.push_back({start, length});
    next = start;
    left = length;
  }

  static void* Allocate(void* self, std::size_t size) {
    auto& arena = *static_cast<Arena*>(self);
    size = (size + 15) & ~std::size_t{15};
    if (size > arena.left) arena.AddBlock(size);
    void* piece = arena.next;
    arena.next += size;
    arena.left -= size;
    return piece;
  }

  static void Free(void*, void*) {}
};

HtmlTree::HtmlTree(std::string_view utf8)
    : text_(utf8), arena_(std::make_unique<Arena>(utf8.size())) {
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
