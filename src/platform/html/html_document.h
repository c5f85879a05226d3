// This platform's HTML document model: UTF-8 markup parsed by Gumbo into an
// immutable tree of our own, read through the control's Element, Document
// and StyleSheet interfaces. Element objects stay valid for as long as anyone
// holds a reference to them (each keeps its whole document alive).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/document.h"
#include "platform/html/html_tree.h"

namespace corabind::html {

// Markup nested deeper than this many open elements is refused (failure 5)
// rather than handed to Gumbo, whose time grows with the square of the depth.
inline constexpr std::size_t kMaxNestingDepth = 10000;
// Gumbo counts source positions in 32 bits.
inline constexpr std::size_t kMaxInputBytes = std::size_t{1} << 30;

class HtmlDocument;

class HtmlElement final : public Element {
 public:
  HtmlElement() = default;
  HtmlElement(const HtmlDocument* document, std::uint32_t node)
      : document_(document), node_(node) {}

  std::u16string tagName() const override;
  // flags 2 (bit 2 set): the text as written; otherwise the interpreted value.
  Variant getAttribute(const std::u16string& name, std::int32_t flags) const override;
  std::vector<std::shared_ptr<Element>> children() const override;
  std::u16string innerHTML() const override;
  std::u16string outerHTML() const override;

  // The local name as the DOM has it ("input", "foreignObject").
  const std::u16string& localName() const;
  // The attribute with this name (ASCII case-insensitive), or nullptr.
  const Attribute* FindAttribute(std::u16string_view name) const;
  std::uint32_t node() const { return node_; }
  const HtmlDocument& document() const { return *document_; }

 private:
  const HtmlDocument* document_ = nullptr;
  std::uint32_t node_ = kNoNode;
};

class HtmlDocument final : public Document, public std::enable_shared_from_this<HtmlDocument> {
 public:
  // Use ParseHtml / ParseHtmlFragment.
  explicit HtmlDocument(Tree tree);

  std::shared_ptr<StyleSheetList> styleSheets() const override;

  // The html element (for a fragment: the context element holding it).
  std::shared_ptr<HtmlElement> root() const { return ElementAt(tree_.root); }
  // The body element; nullptr when there is none (a frameset document or a fragment).
  std::shared_ptr<HtmlElement> body() const { return ElementAt(tree_.body); }
  // The first element in document order whose id attribute equals `id`; nullptr if none.
  std::shared_ptr<HtmlElement> ElementById(std::u16string_view id) const;
  // Elements whose tag name matches `tag_name` (ASCII case-insensitive), in document order.
  std::size_t CountByTagName(std::u16string_view tag_name) const;
  // The index-th of them (zero-based); nullptr when there are fewer.
  std::shared_ptr<HtmlElement> ElementByTagName(std::u16string_view tag_name,
                                                std::size_t index) const;

  const Tree& tree() const { return tree_; }
  // Walks the nodes inside `from` (not `from` itself) in document order, as
  // a loop however deep they nest: `open` and `close` around each element's
  // content, `text` for each text node. Template contents are left out.
  struct NodeWalk {
    std::function<void(const HtmlElement&)> open, close;
    std::function<void(std::u16string_view)> text;
  };
  void Walk(const HtmlElement& from, const NodeWalk& walk) const;
  // nullptr for kNoNode and for nodes that are not elements.
  std::shared_ptr<HtmlElement> ElementAt(std::uint32_t node) const;

 private:
  Tree tree_;
  std::vector<std::uint32_t> element_slot_;  // node index -> index into elements_
  std::unique_ptr<HtmlElement[]> elements_;  // one object per element node
  std::vector<std::u16string> sheet_hrefs_;  // document order
};

// A page read for a reader of its elements' attributes and of its content
// in order (the mail writer), not of the whole model: the document holds
// the elements of TreeDetail::kAttributed, and the content is walked from
// the parser helper's bytes, which take far less memory than the tree
// they describe.
class AttributedPage {
 public:
  explicit AttributedPage(std::string wire);

  // Its root, body, elements with attributes and style sheets are the
  // whole document's; other elements it leaves out.
  const std::shared_ptr<HtmlDocument>& document() const { return document_; }
  // Walks the body (the root when there is none) as HtmlDocument::Walk
  // would walk the whole document: an element of document() is handed over
  // as itself, any other (it has no attributes) as an element of the same
  // name without any, which answers every getAttribute as it would.
  void WalkContent(const HtmlDocument::NodeWalk& walk) const;

 private:
  std::string wire_;
  std::vector<std::uint32_t> wire_nodes_;  // document's node -> the wire's
  std::shared_ptr<HtmlDocument> document_;
};

// Byte offsets of a stretch of the parsed source.
struct SourceRange {
  std::size_t begin, end;
};
// Where the value of `element`'s attribute `name` stands in the source it
// was parsed from, quotes excluded; nullopt when it is absent, has no value
// written, or `element` is not of this model.
std::optional<SourceRange> AttributeSource(const Element& element, std::u16string_view name);
// Where the text of `element` (a style or script element: one text child)
// stands in the source; nullopt when it has none.
std::optional<SourceRange> TextSource(const Element& element);

// Parses a whole document, in the parser helper (parser_helper.h). Input
// nested deeper than kMaxNestingDepth, larger than kMaxInputBytes, or that
// the parser fails on, is failure 5 (invalid argument). Invalid UTF-8 reads
// as U+FFFD.
std::shared_ptr<HtmlDocument> ParseHtml(std::string_view utf8);
// The same parse, read as an AttributedPage.
std::shared_ptr<AttributedPage> ParseAttributedHtml(std::string_view utf8);
// Parses markup as the content of a body element (WHATWG HTML "parsing HTML
// fragments"); root() is the context element and holds the parsed nodes.
std::shared_ptr<HtmlDocument> ParseHtmlFragment(std::string_view utf8);
// The first element of a fragment: ParseElement(u"<input type=radio name=a>")
// gives that input element. Failure 5 when the markup holds no element.
std::shared_ptr<HtmlElement> ParseElement(std::string_view utf8);
std::shared_ptr<HtmlElement> ParseElement(std::u16string_view text);

}  // namespace corabind::html
