#include "platform/html/html_document.h"

#include <array>
#include <unordered_map>

#include "core/failure.h"
#include "core/text.h"
#include "platform/html/html_integer.h"
#include "platform/html/nesting_scan.h"
#include "platform/html/parser_helper.h"
#include "platform/html/serialize.h"
#include "platform/html/tree_wire.h"

namespace corabind::html {
namespace {

bool IsAsciiWhitespace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

// rel is a set of space-separated tokens, compared ASCII case-insensitively
// (WHATWG HTML "link types").
bool HasToken(std::u16string_view list, std::u16string_view token) {
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && IsAsciiWhitespace(list[i])) ++i;
    std::size_t j = i;
    while (j < list.size() && !IsAsciiWhitespace(list[j])) ++j;
    if (j > i && EqualsIgnoringAsciiCase(list.substr(i, j - i), token)) return true;
    i = j;
  }
  return false;
}

class HtmlStyleSheet final : public StyleSheet {
 public:
  explicit HtmlStyleSheet(std::u16string href) : href_(std::move(href)) {}
  Variant href() const override { return Variant(href_); }

 private:
  std::u16string href_;
};

class HtmlStyleSheetList final : public StyleSheetList {
 public:
  explicit HtmlStyleSheetList(const std::vector<std::u16string>& hrefs) {
    sheets_.reserve(hrefs.size());
    for (const auto& href : hrefs) sheets_.push_back(std::make_shared<HtmlStyleSheet>(href));
  }
  std::int32_t length() const override { return static_cast<std::int32_t>(sheets_.size()); }
  std::shared_ptr<StyleSheet> item(std::int32_t index) const override {
    if (index < 0 || index >= length()) {
      throw Failure(err::kInvalidCall, u"Style sheet index out of range");
    }
    return sheets_[static_cast<std::size_t>(index)];
  }

 private:
  std::vector<std::shared_ptr<StyleSheet>> sheets_;
};

// What the helper is asked to parse: not too large, and refused as soon as
// it nests too deep.
std::function<void()> CheckedInput(std::string_view utf8) {
  if (utf8.size() > kMaxInputBytes) {
    throw Failure(err::kInvalidCall, u"HTML text larger than " +
                                         DecimalText(static_cast<std::int64_t>(kMaxInputBytes)) +
                                         u" bytes");
  }
  // Runaway nesting is refused while the helper starts on it, long before
  // Gumbo would have spent quadratic time; the tree builder checks the real
  // depth again.
  return [utf8] {
    if (EstimateNestingDepth(utf8, kMaxNestingDepth) > kMaxNestingDepth) {
      throw Failure(err::kInvalidCall,
                    u"HTML nesting deeper than " +
                        DecimalText(static_cast<std::int64_t>(kMaxNestingDepth)) + u" elements");
    }
  };
}

std::shared_ptr<HtmlDocument> Parse(std::string_view utf8, ParseMode mode) {
  return std::make_shared<HtmlDocument>(ParseInHelper(utf8, mode, CheckedInput(utf8)));
}

}  // namespace

// ---- HtmlElement ----

const std::u16string& HtmlElement::localName() const {
  return document_->tree().nodes[node_].data;
}

std::u16string HtmlElement::tagName() const {
  const Node& n = document_->tree().nodes[node_];
  return n.ns == Namespace::kHtml ? AsciiUpper(n.data) : n.data;
}

const Attribute* HtmlElement::FindAttribute(std::u16string_view name) const {
  for (const Attribute& a : document_->tree().nodes[node_].attributes) {
    if (EqualsIgnoringAsciiCase(a.name, name)) return &a;
  }
  return nullptr;
}

Variant HtmlElement::getAttribute(const std::u16string& name, std::int32_t flags) const {
  const Attribute* a = FindAttribute(name);
  if ((flags & 2) != 0) return a == nullptr ? Variant(Null{}) : Variant(a->raw());
  // The three state attributes read as booleans: absent is false, not null.
  for (const std::u16string_view state : {u"checked", u"multiple", u"selected"}) {
    if (EqualsIgnoringAsciiCase(name, state)) return Variant::Boolean(a != nullptr);
  }
  if (a == nullptr) return Variant(Null{});
  if (EqualsIgnoringAsciiCase(name, u"size") || EqualsIgnoringAsciiCase(name, u"maxlength")) {
    const auto number = ParseHtmlInteger(a->value);
    return number ? Variant(*number) : Variant(Null{});
  }
  return Variant(a->value);
}

std::vector<std::shared_ptr<Element>> HtmlElement::children() const {
  std::vector<std::shared_ptr<Element>> result;
  const Tree& tree = document_->tree();
  // A template's contents belong to its template contents fragment, not to
  // the element (WHATWG HTML "the template element").
  if (tree.IsHtmlElement(node_, u"template")) return result;
  for (std::uint32_t c = tree.nodes[node_].first_child; c != kNoNode;
       c = tree.nodes[c].next_sibling) {
    if (tree.nodes[c].kind == NodeKind::kElement) result.push_back(document_->ElementAt(c));
  }
  return result;
}

std::u16string HtmlElement::innerHTML() const {
  return SerializeChildren(document_->tree(), node_);
}

std::u16string HtmlElement::outerHTML() const {
  return SerializeNode(document_->tree(), node_);
}

// ---- HtmlDocument ----

HtmlDocument::HtmlDocument(Tree tree) : tree_(std::move(tree)) {
  element_slot_.assign(tree_.nodes.size(), kNoNode);
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < tree_.nodes.size(); ++i) {
    if (tree_.nodes[i].kind == NodeKind::kElement) element_slot_[i] = count++;
  }
  elements_ = std::make_unique<HtmlElement[]>(count);
  for (std::uint32_t i = 0; i < tree_.nodes.size(); ++i) {
    const Node& n = tree_.nodes[i];
    if (n.kind != NodeKind::kElement) continue;
    elements_[element_slot_[i]] = HtmlElement(this, i);
    if (n.in_template) continue;
    // Style sheets in document order: <link rel~=stylesheet href> and <style>
    // (WHATWG HTML "link type stylesheet", "the style element"). A link
    // without an href fetches nothing and so has no sheet. The sheet's href
    // is the location the attribute means, character references decoded.
    if (n.ns == Namespace::kHtml && n.data == u"link") {
      const HtmlElement& e = elements_[element_slot_[i]];
      const Attribute* rel = e.FindAttribute(u"rel");
      const Attribute* href = e.FindAttribute(u"href");
      if (rel != nullptr && href != nullptr && HasToken(rel->value, u"stylesheet")) {
        sheet_hrefs_.push_back(href->value);
      }
    } else if (n.ns != Namespace::kMathMl && n.data == u"style") {
      sheet_hrefs_.emplace_back();
    }
  }
}

std::shared_ptr<StyleSheetList> HtmlDocument::styleSheets() const {
  return std::make_shared<HtmlStyleSheetList>(sheet_hrefs_);
}

std::shared_ptr<HtmlElement> HtmlDocument::ElementAt(std::uint32_t node) const {
  if (node >= element_slot_.size() || element_slot_[node] == kNoNode) return nullptr;
  // Aliasing: the element shares ownership of the whole document.
  return std::shared_ptr<HtmlElement>(shared_from_this(), &elements_[element_slot_[node]]);
}

void HtmlDocument::Walk(const HtmlElement& from, const NodeWalk& walk) const {
  const auto element = [&](std::uint32_t node) -> const HtmlElement& {
    return elements_[element_slot_[node]];
  };
  const std::uint32_t top = from.node();
  if (top >= tree_.nodes.size()) return;
  std::uint32_t node = tree_.nodes[top].first_child;
  while (node != kNoNode) {
    const Node& n = tree_.nodes[node];
    if (n.in_template) {
    } else if (n.kind == NodeKind::kText) {
      if (walk.text) walk.text(n.data);
    } else if (n.kind == NodeKind::kElement) {
      if (walk.open) walk.open(element(node));
      if (n.first_child != kNoNode) {
        node = n.first_child;
        continue;
      }
      if (walk.close) walk.close(element(node));
    }
    // Up to the first ancestor below `top` with a next sibling, closing
    // each element left.
    while (node != top && tree_.nodes[node].next_sibling == kNoNode) {
      node = tree_.nodes[node].parent;
      if (node == top || node == kNoNode) return;
      if (tree_.nodes[node].kind == NodeKind::kElement && walk.close) walk.close(element(node));
    }
    if (node == top) return;
    node = tree_.nodes[node].next_sibling;
  }
}

std::shared_ptr<HtmlElement> HtmlDocument::ElementById(std::u16string_view id) const {
  for (std::uint32_t i = 0; i < tree_.nodes.size(); ++i) {
    const Node& n = tree_.nodes[i];
    if (n.kind != NodeKind::kElement || n.in_template) continue;
    for (const Attribute& a : n.attributes) {
      if (a.name == u"id" && a.value == id) return ElementAt(i);
    }
  }
  return nullptr;
}

std::size_t HtmlDocument::CountByTagName(std::u16string_view tag_name) const {
  std::size_t count = 0;
  for (const Node& n : tree_.nodes) {
    if (n.kind == NodeKind::kElement && !n.in_template &&
        EqualsIgnoringAsciiCase(n.data, tag_name)) {
      ++count;
    }
  }
  return count;
}

std::shared_ptr<HtmlElement> HtmlDocument::ElementByTagName(std::u16string_view tag_name,
                                                            std::size_t index) const {
  for (std::uint32_t i = 0; i < tree_.nodes.size(); ++i) {
    const Node& n = tree_.nodes[i];
    if (n.kind == NodeKind::kElement && !n.in_template &&
        EqualsIgnoringAsciiCase(n.data, tag_name)) {
      if (index == 0) return ElementAt(i);
      --index;
    }
  }
  return nullptr;
}

std::optional<SourceRange> AttributeSource(const Element& element, std::u16string_view name) {
  const auto* html = dynamic_cast<const HtmlElement*>(&element);
  const Attribute* a = html == nullptr ? nullptr : html->FindAttribute(name);
  if (a == nullptr || a->source_begin == kNoNode) return std::nullopt;
  return SourceRange{a->source_begin, a->source_end};
}

std::optional<SourceRange> TextSource(const Element& element) {
  const auto* html = dynamic_cast<const HtmlElement*>(&element);
  if (html == nullptr) return std::nullopt;
  const Node& node = html->document().tree().nodes[html->node()];
  if (node.first_child == kNoNode || node.first_child != node.last_child) return std::nullopt;
  const Node& text = html->document().tree().nodes[node.first_child];
  if (text.kind != NodeKind::kText || text.source_begin == kNoNode) return std::nullopt;
  return SourceRange{text.source_begin, text.source_end};
}

// ---- AttributedPage ----

AttributedPage::AttributedPage(std::string wire)
    : wire_(std::move(wire)),
      document_(std::make_shared<HtmlDocument>(
          DecodeTree(wire_, TreeDetail::kAttributed, &wire_nodes_))) {}

void AttributedPage::WalkContent(const HtmlDocument::NodeWalk& walk) const {
  const Tree& tree = document_->tree();
  const std::uint32_t from = tree.body != kNoNode ? tree.body : tree.root;
  if (from == kNoNode) return;
  std::size_t kept = from + 1;  // the next of the document's nodes the walk may meet
  std::vector<const HtmlElement*> open;
  // One element without attributes for each name met without any; each
  // has a document of its own, which holds it alone.
  std::unordered_map<std::string, std::shared_ptr<HtmlElement>> bare;
  std::string key;
  WireWalk wire_walk;
  wire_walk.open = [&](std::uint32_t node, Namespace ns, std::string_view name) {
    while (kept < wire_nodes_.size() && wire_nodes_[kept] < node) ++kept;
    const HtmlElement* element = nullptr;
    if (kept < wire_nodes_.size() && wire_nodes_[kept] == node) {
      element = document_->ElementAt(static_cast<std::uint32_t>(kept)).get();
    } else {
      key.assign(1, static_cast<char>(ns));
      key.append(name);
      auto& stand_in = bare[key];
      if (!stand_in) {
        Tree alone;
        alone.nodes.resize(2);
        alone.nodes[0].first_child = alone.nodes[0].last_child = 1;
        alone.nodes[1].kind = NodeKind::kElement;
        alone.nodes[1].ns = ns;
        alone.nodes[1].parent = 0;
        alone.nodes[1].data = FromUtf8(name);
        alone.root = 1;
        stand_in = std::make_shared<HtmlDocument>(std::move(alone))->ElementAt(1);
      }
      element = stand_in.get();
    }
    open.push_back(element);
    if (walk.open) walk.open(*element);
  };
  wire_walk.close = [&] {
    const HtmlElement* element = open.back();
    open.pop_back();
    if (walk.close) walk.close(*element);
  };
  std::u16string text;
  wire_walk.text = [&](std::string_view utf8) {
    if (!walk.text) return;
    text = FromUtf8(utf8);
    walk.text(text);
  };
  WalkWire(wire_, wire_nodes_[from], wire_walk);
}

// ---- factories ----

std::shared_ptr<HtmlDocument> ParseHtml(std::string_view utf8) {
  return Parse(utf8, ParseMode::kDocument);
}

std::shared_ptr<AttributedPage> ParseAttributedHtml(std::string_view utf8) {
  return std::make_shared<AttributedPage>(
      ParseWireInHelper(utf8, ParseMode::kDocument, CheckedInput(utf8)));
}

std::shared_ptr<HtmlDocument> ParseHtmlFragment(std::string_view utf8) {
  return Parse(utf8, ParseMode::kFragment);
}

std::shared_ptr<HtmlElement> ParseElement(std::string_view utf8) {
  const auto fragment = ParseHtmlFragment(utf8);
  const Tree& tree = fragment->tree();
  if (tree.root != kNoNode) {
    for (std::uint32_t c = tree.nodes[tree.root].first_child; c != kNoNode;
         c = tree.nodes[c].next_sibling) {
      if (tree.nodes[c].kind == NodeKind::kElement) return fragment->ElementAt(c);
    }
  }
  throw Failure(err::kInvalidCall, u"The HTML fragment holds no element");
}

std::shared_ptr<HtmlElement> ParseElement(std::u16string_view text) {
  return ParseElement(ToUtf8(text));
}

}  // namespace corabind::html
