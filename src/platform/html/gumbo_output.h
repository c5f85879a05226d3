// RAII ownership of one Gumbo parse, with a cap on Gumbo's memory. Gumbo
// builds its whole tree before anything else can look at it, and markup can
// make that tree grow with the square of its length, so every block it asks
// for is counted as it is asked for. Unless the parse is untracked, every
// block is also released in one loop when the parse is dropped: the
// library's own gumbo_destroy_output() recurses once per tree level and
// overflows the stack on deeply nested input.
#pragma once

#include <gumbo.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corabind::html {

class GumboParse {
 public:
  // Called when Gumbo asks for more than the budget: it must not return, as
  // Gumbo has no way to fail an allocation.
  using OverBudget = void (*)();

  // `utf8` must outlive this object (Gumbo points into it). fragment_context
  // GUMBO_TAG_LAST parses a whole document. Unless `tracked`, nothing is
  // ever released: for a process that ends after one parse, which saves a
  // header on each of Gumbo's many blocks. Gumbo's live blocks never take
  // more than `budget` bytes, their allocator's overhead included;
  // `over_budget` (std::abort when null) runs at the first block that
  // would.
  GumboParse(std::string_view utf8, GumboTag fragment_context, bool tracked = true,
             std::uint64_t budget = UINT64_MAX, OverBudget over_budget = nullptr);
  ~GumboParse();
  GumboParse(const GumboParse&) = delete;
  GumboParse& operator=(const GumboParse&) = delete;

  const GumboOutput& output() const { return *output_; }

 private:
  struct Block {
    Block* prev;
    Block* next;
  };
  static void* Allocate(void* self, std::size_t size);
  static void Deallocate(void* self, void* ptr);
  void Count(std::size_t block_bytes);

  alignas(16) Block head_{&head_, &head_};
  bool tracked_;
  std::uint64_t budget_;
  std::uint64_t used_ = 0;
  OverBudget over_budget_;
  GumboOutput* output_ = nullptr;
};

}  // namespace corabind::html
