// Writes a Gumbo parse out in the tree wire format (tree_wire.h), so that no
// Gumbo memory, nor Gumbo itself, need live where the tree is used.
#pragma once

#include <gumbo.h>

#include <cstddef>
#include <string_view>

#include "platform/html/tree_wire.h"

namespace corabind::html {

// Walks with an explicit stack. `source` is the text Gumbo parsed. Nesting
// deeper than `max_depth` elements is failure 5.
void EncodeTree(const GumboOutput& output, std::string_view source, std::size_t max_depth,
                WireWriter& out);

}  // namespace corabind::html
