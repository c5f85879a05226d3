// Markup read tag by tag, following the tokenizer of the WHATWG HTML
// standard ("13.2.5 Tokenization") closely enough for ordinary markup:
// comments, declarations, bogus comments and text are passed over, quoted
// attribute values may hold '<' and '>', and a raw-text element's content
// can be skipped to its end tag. The cheap looks taken at a page before it
// reaches Gumbo are built on it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corabind::html {

// WHATWG HTML "void elements" plus obsolete ones Gumbo also never keeps open.
bool IsVoidElement(std::string_view name);
// Elements whose content is text up to the matching end tag.
bool IsRawTextElement(std::string_view name);
// Start tags that close an open element of their own kind instead of nesting
// in it (the "optional end tag" elements of the standard).
bool ClosesItsOwnKind(std::string_view name);

class MarkupCursor {
 public:
  explicit MarkupCursor(std::string_view markup) : s_(markup) {}

  enum class Kind { kStartTag, kEndTag, kEnd };
  struct Tag {
    Kind kind = Kind::kEnd;
    std::string name;  // ASCII lower case
    bool self_closing = false;
    std::size_t begin = 0;  // where its '<' stands
  };
  // The next start or end tag. `foreign`: inside SVG or MathML, where
  // "<![CDATA[" opens a section rather than a bogus comment.
  Tag Next(bool foreign = false);
  // Past the end tag of the raw-text element `name` just opened, or to the
  // end of the markup when it has none.
  void SkipRawText(const std::string& name);
  // Nothing more is read (the rest is text: "plaintext").
  void SkipToEnd() { pos_ = s_.size(); }
  std::size_t position() const { return pos_; }

 private:
  std::string ReadName();
  bool SkipAttributes();
  void MarkupDeclaration(bool foreign);
  void SkipPast(std::string_view marker);

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace corabind::html
