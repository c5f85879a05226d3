#include "platform/html/gumbo_output.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace corabind::html {
namespace {
// Keeps the payload as aligned as malloc's own result.
constexpr std::size_t kHeader = 16;
// What malloc keeps beside each block it hands out.
constexpr std::size_t kMallocOverhead = sizeof(std::size_t);

std::size_t BlockBytes(void* block) {
  return malloc_usable_size(block) + kMallocOverhead;
}
}  // namespace

GumboParse::GumboParse(std::string_view utf8, GumboTag fragment_context, bool tracked,
                       std::uint64_t budget, OverBudget over_budget)
    : tracked_(tracked), budget_(budget), over_budget_(over_budget) {
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = &GumboParse::Allocate;
  options.deallocator = &GumboParse::Deallocate;
  options.userdata = this;
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

void GumboParse::Count(std::size_t block_bytes) {
  used_ += block_bytes;
  if (used_ <= budget_) return;
  if (over_budget_ != nullptr) over_budget_();
  std::abort();
}

void* GumboParse::Allocate(void* self, std::size_t size) {
  static_assert(sizeof(Block) <= kHeader);
  auto* parse = static_cast<GumboParse*>(self);
  const std::size_t header = parse->tracked_ ? kHeader : 0;
  void* memory = std::malloc(header + size);
  if (memory == nullptr) std::abort();  // Gumbo does not check for a null result
  parse->Count(BlockBytes(memory));
  if (!parse->tracked_) return memory;
  auto* block = static_cast<Block*>(memory);
  block->prev = &parse->head_;
  block->next = parse->head_.next;
  parse->head_.next->prev = block;
  parse->head_.next = block;
  return reinterpret_cast<char*>(block) + kHeader;
}

void GumboParse::Deallocate(void* self, void* ptr) {
  if (ptr == nullptr) return;
  auto* parse = static_cast<GumboParse*>(self);
  void* memory = ptr;
  if (parse->tracked_) {
    auto* block = reinterpret_cast<Block*>(static_cast<char*>(ptr) - kHeader);
    block->prev->next = block->next;
    block->next->prev = block->prev;
    memory = block;
  }
  parse->used_ -= BlockBytes(memory);
  std::free(memory);
}

}  // namespace corabind::html
