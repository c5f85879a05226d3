// RAII ownership of one Gumbo parse. Every block Gumbo allocates is tracked
// here and released in one loop when the parse is dropped: the library's own
// gumbo_destroy_output() recurses once per tree level and overflows the stack
// on deeply nested input.
#pragma once

#include <gumbo.h>

#include <cstddef>
#include <string_view>

namespace corabind::html {

class GumboParse {
 public:
  // `utf8` must outlive this object (Gumbo points into it). fragment_context
  // GUMBO_TAG_LAST parses a whole document. Unless `tracked`, Gumbo uses
  // malloc directly and nothing is ever released: for a process that ends
  // after one parse, which saves a header on each of Gumbo's many blocks.
  GumboParse(std::string_view utf8, GumboTag fragment_context, bool tracked = true);
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

  alignas(16) Block head_{&head_, &head_};
  GumboOutput* output_ = nullptr;
};

}  // namespace corabind::html
