// Markup of a subtree by the WHATWG HTML algorithm "serializing HTML
// fragments" (https://html.spec.whatwg.org/multipage/parsing.html#serialising-html-fragments),
// walked in a loop so that depth cannot exhaust the stack.
#pragma once

#include <cstdint>
#include <string>

#include "platform/html/html_tree.h"

namespace corabind::html {

// The node's children (innerHTML).
std::u16string SerializeChildren(const Tree& tree, std::uint32_t node);
// The node itself and its descendants (outerHTML).
std::u16string SerializeNode(const Tree& tree, std::uint32_t node);

}  // namespace corabind::html
