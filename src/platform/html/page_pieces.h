// Where a long page may be cut so that its pieces can be parsed apart, by
// several parser helpers at once, into the very tree one parse would build:
// Gumbo holds a whole tree in memory (about 12 bytes for each byte of a
// page) and uses one core.
//
// A cut is made only before a start tag that inserts an element (so the
// text before it ends there too) where the tree builder is back in
// the body with nothing else open: every element opened since the body was
// closed again by its own end tag, nesting properly, so no formatting element
// waits to be reopened and no table, form or template is pending. What could
// leave state behind that the tags do not show stops the cutting from there
// on: an end tag that does not close the latest open element, a second <a>
// or <nobr> inside one, script, noscript, template and plaintext. A page is
// not cut at all when something reaches back across a cut: foreign content,
// a frameset, a second html or body start tag (its attributes join the
// first), anything but white space after </body> or </html>, and a table
// after a cut unless the page declares <!DOCTYPE html> (the pieces are
// parsed in no-quirks mode; in quirks mode a table nests in an open
// paragraph).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace corabind::html {

// The offsets at which `html` may be cut, in order, each piece at least
// `piece_bytes` long (the last may be shorter). The first piece holds the
// head and the body's start tag and parses as a document; the others parse as
// the body's content. Empty when the page must be parsed whole.
std::vector<std::size_t> PieceStarts(std::string_view html, std::size_t piece_bytes);

}  // namespace corabind::html
