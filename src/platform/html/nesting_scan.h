// A cheap look at the markup before it reaches Gumbo. Gumbo's tree builder
// scans its whole stack of open elements for many start tags, so its time
// grows with the square of the nesting depth (tens of thousands of nested
// <div>s take many seconds), and the library frees its tree recursively.
// Estimating the depth first lets us refuse such input with a clear failure.
#pragma once

#include <cstddef>
#include <string_view>

namespace corabind::html {

// An estimate of the deepest stack of open elements the markup produces,
// following the tokenizer of the WHATWG HTML standard ("13.2.5 Tokenization")
// closely enough for ordinary markup: comments, raw-text elements, quoted
// attribute values, void elements and elements whose start tag closes an
// open one of the same kind (p, li, option, td, ...) are accounted for. An
// end tag closes the latest open element of its name. The scan stops early
// once the estimate exceeds `limit`.
std::size_t EstimateNestingDepth(std::string_view html, std::size_t limit);

}  // namespace corabind::html
