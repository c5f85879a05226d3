// Copies a Gumbo parse into our own tree, so that no Gumbo memory outlives
// the parse.
#pragma once

#include <gumbo.h>

#include "platform/html/html_tree.h"

namespace corabind::html {

// Walks with an explicit stack. Nesting deeper than `max_depth` elements is
// failure 5.
Tree BuildTree(const GumboOutput& output, std::size_t max_depth);

}  // namespace corabind::html
