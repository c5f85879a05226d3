#include "platform/html/gumbo_output.h"

#include <cstdlib>
#include <new>

namespace corabind::html {
namespace {
// Keeps the payload as aligned as malloc's own result.
constexpr std::size_t kHeader = 16;
}  // namespace

GumboParse::GumboParse(std::string_view utf8, GumboTag fragment_context, bool tracked) {
  GumboOptions options = kGumboDefaultOptions;
  if (tracked) {
    options.allocator = &GumboParse::Allocate;
    options.deallocator = &GumboParse::Deallocate;
    options.userdata = this;
  }
  options.max_errors = 0;  // we never read Gumbo's error list
  options.fragment_context = fragment_context;
  options.fragment_namespace = GUMBO_NAMESPACE_HTML;
  output_ = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
  if (output_ == nullptr) throw std::bad_alloc();
}

GumboParse::~GumboParse() {
  Block* b = head_.next;
  while (b != &head_) {
    Block* next = b->next;
    std::free(b);
    b = next;
  }
}

void* GumboParse::Allocate(void* self, std::size_t size) {
  static_assert(sizeof(Block) <= kHeader);
  auto* parse = static_cast<GumboParse*>(self);
  auto* block = static_cast<Block*>(std::malloc(kHeader + size));
  if (block == nullptr) std::abort();  // Gumbo does not check for a null result
  block->prev = &parse->head_;
  block->next = parse->head_.next;
  parse->head_.next->prev = block;
  parse->head_.next = block;
  return reinterpret_cast<char*>(block) + kHeader;
}

void GumboParse::Deallocate(void*, void* ptr) {
  if (ptr == nullptr) return;
  auto* block = reinterpret_cast<Block*>(static_cast<char*>(ptr) - kHeader);
  block->prev->next = block->next;
  block->next->prev = block->prev;
  std::free(block);
}

}  // namespace corabind::html
