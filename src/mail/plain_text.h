// The plain-text alternative of an HTML mail: what the page says, in its
// reading order, for readers that show no HTML (and for the spam filters
// that want to see one). Made from the parsed page's nodes, never from its
// markup text.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace corabind {
class Element;
}

namespace corabind::mail {

// The page's nodes as a walk over them reports them, in document order.
// `name` is an element's local name (lower case for HTML elements).
class ContentVisitor {
 public:
  virtual ~ContentVisitor() = default;
  virtual void Open(std::u16string_view name, const Element& element) = 0;
  virtual void Close(std::u16string_view name) = 0;
  virtual void Text(std::u16string_view text) = 0;
};

// Walks a page's body (or its root, when it has none) through a visitor.
using ContentWalk = std::function<void(ContentVisitor&)>;

// The page as text, in lines ending LF (one per paragraph, list item, table
// row or line break), not yet wrapped: paragraphs and headings stand apart,
// list items begin "- " or "1. " (nested lists indented), a table's cells
// are joined by " | ", a link reads "text <url>", an image reads as its alt
// text; scripts, style sheets and hidden elements say nothing.
std::string PageText(const ContentWalk& walk);

// `text` (UTF-8, lines ending LF) as format=flowed (RFC 3676): every line
// at most kFlowedWidth characters, a long line broken after a space, lines
// starting with a space, ">" or "From " space-stuffed, and spaces at a
// line's end (which would make it flow into the next) dropped. Text that
// can only break between two CJK characters is written with delsp=yes:
// each broken line then ends in one added space, which a reader takes away
// again. A word longer than a line is left whole.
struct FlowedText {
  std::string text;
  bool delsp;
};
FlowedText Flowed(std::string_view text);
inline constexpr std::size_t kFlowedWidth = 76;

}  // namespace corabind::mail
