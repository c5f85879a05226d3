// Writes a Gumbo parse out in the tree wire format (tree_wire.h), so that no
// Gumbo memory, nor Gumbo itself, need live where the tree is used.
#pragma once

#include <gumbo.h>

#include <cstddef>
#include <string_view>

#include "platform/html/parser_helper.h"
#include "platform/html/tree_wire.h"

namespace corabind::html {

// Walks with an explicit stack. `source` is the text Gumbo parsed. Nesting
// deeper than `max_depth` elements, or a tree past `limits` (its bytes
// counted as a Tree holds the nodes), is failure 5.
void EncodeTree(const GumboOutput& output, std::string_view source, std::size_t max_depth,
                const TreeLimits& limits, WireWriter& out);

}  // namespace corabind::html
