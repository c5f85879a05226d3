#include "platform/html/tree_builder.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/text.h"

namespace corabind::html {
namespace {

std::u16string FromCString(const char* text) {
  return text == nullptr ? std::u16string() : FromUtf8(std::string_view(text, std::strlen(text)));
}

std::string AsciiLowerBytes(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

// The local name as the DOM reports it: lower case, with the SVG names that
// the WHATWG tree builder adjusts ("foreignObject") in their mixed case.
std::u16string ElementName(const GumboElement& e) {
  std::string name;
  if (e.tag != GUMBO_TAG_UNKNOWN) {
    name = gumbo_normalized_tagname(e.tag);
  } else if (e.original_tag.data != nullptr && e.original_tag.length >= 2) {
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    name = AsciiLowerBytes(std::string(piece.data, piece.length));
  }
  if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
    GumboStringPiece piece{name.data(), name.size()};
    if (const char* adjusted = gumbo_normalize_svg_tagname(&piece)) name = adjusted;
  }
  return FromUtf8(name);
}

Namespace NamespaceOf(const GumboElement& e) {
  switch (e.tag_namespace) {
    case GUMBO_NAMESPACE_SVG:
      return Namespace::kSvg;
    case GUMBO_NAMESPACE_MATHML:
      return Namespace::kMathMl;
    default:
      return Namespace::kHtml;
  }
}

// The attribute's qualified name (WHATWG HTML "serializing HTML fragments",
// attribute names of the XML, XMLNS and XLink namespaces carry their prefix).
std::u16string AttributeName(const GumboAttribute& a) {
  std::u16string local = FromCString(a.name);
  switch (a.attr_namespace) {
    case GUMBO_ATTR_NAMESPACE_XLINK:
      return u"xlink:" + local;
    case GUMBO_ATTR_NAMESPACE_XML:
      return u"xml:" + local;
    case GUMBO_ATTR_NAMESPACE_XMLNS:
      return local == u"xmlns" ? local : u"xmlns:" + local;
    default:
      return local;
  }
}

// The value as written: Gumbo's original text includes the quotes, and for
// an attribute without a value it repeats the name.
std::u16string RawValue(const GumboAttribute& a) {
  const GumboStringPiece& original = a.original_value;
  if (original.data == a.original_name.data) return {};
  std::string_view text = original.data == nullptr
                              ? std::string_view()
                              : std::string_view(original.data, original.length);
  if (!text.empty() && (text.front() == '"' || text.front() == '\'')) {
    const char quote = text.front();
    text.remove_prefix(1);
    if (!text.empty() && text.back() == quote) text.remove_suffix(1);
  }
  return FromUtf8(text);
}

// Where RawValue's text stands in the source: the value token less its quotes.
void LocateRawValue(const GumboAttribute& a, Attribute& out) {
  const GumboStringPiece& original = a.original_value;
  if (original.data == nullptr || original.data == a.original_name.data) return;
  std::size_t begin = a.value_start.offset, end = begin + original.length;
  if (original.length > 0 && (original.data[0] == '"' || original.data[0] == '\'')) {
    ++begin;
    if (original.length > 1 && original.data[original.length - 1] == original.data[0]) --end;
  }
  out.raw_begin = static_cast<std::uint32_t>(begin);
  out.raw_end = static_cast<std::uint32_t>(end);
}

const GumboVector& ChildrenOf(const GumboNode& node) {
  return node.type == GUMBO_NODE_DOCUMENT ? node.v.document.children : node.v.element.children;
}

struct Pending {
  const GumboNode* node;
  std::uint32_t parent;
  std::size_t depth;
};

void PushChildren(std::vector<Pending>& stack, const GumboNode& node, std::uint32_t index,
                  std::size_t depth) {
  const GumboVector& children = ChildrenOf(node);
  for (unsigned int i = children.length; i-- > 0;) {
    stack.push_back({static_cast<const GumboNode*>(children.data[i]), index, depth});
  }
}

}  // namespace

Tree BuildTree(const GumboOutput& output, std::size_t max_depth) {
  Tree tree;
  tree.nodes.emplace_back();  // the container
  std::vector<Pending> stack;
  PushChildren(stack, *output.document, 0, 1);

  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    const GumboNode& g = *p.node;
    Node node;
    switch (g.type) {
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE: {
        if (p.depth > max_depth) {
          throw Failure(err::kInvalidCall, u"HTML nesting deeper than " +
                                               DecimalText(static_cast<std::int64_t>(max_depth)) +
                                               u" elements");
        }
        const GumboElement& e = g.v.element;
        node.kind = NodeKind::kElement;
        node.ns = NamespaceOf(e);
        node.data = ElementName(e);
        node.attributes.reserve(e.attributes.length);
        for (unsigned int i = 0; i < e.attributes.length; ++i) {
          const auto& a = *static_cast<const GumboAttribute*>(e.attributes.data[i]);
          node.attributes.push_back({AttributeName(a), FromCString(a.value), RawValue(a)});
          LocateRawValue(a, node.attributes.back());
        }
        break;
      }
      case GUMBO_NODE_COMMENT:
        node.kind = NodeKind::kComment;
        node.data = FromCString(g.v.text.text);
        break;
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_CDATA:
      case GUMBO_NODE_WHITESPACE:
        node.kind = NodeKind::kText;
        node.data = FromCString(g.v.text.text);
        if (g.v.text.original_text.data != nullptr) {
          node.source_begin = static_cast<std::uint32_t>(g.v.text.start_pos.offset);
          node.source_end =
              static_cast<std::uint32_t>(g.v.text.start_pos.offset + g.v.text.original_text.length);
        }
        break;
      case GUMBO_NODE_DOCUMENT:
        continue;
    }
    const auto index = static_cast<std::uint32_t>(tree.nodes.size());
    Node& parent = tree.nodes[p.parent];
    node.parent = p.parent;
    node.in_template = parent.in_template || tree.IsHtmlElement(p.parent, u"template");
    if (parent.last_child == kNoNode) {
      parent.first_child = index;
    } else {
      tree.nodes[parent.last_child].next_sibling = index;
    }
    parent.last_child = index;
    const bool is_element = node.kind == NodeKind::kElement;
    tree.nodes.push_back(std::move(node));
    if (is_element) PushChildren(stack, g, index, p.depth + 1);
  }

  for (std::uint32_t c = tree.nodes[0].first_child; c != kNoNode; c = tree.nodes[c].next_sibling) {
    if (tree.nodes[c].kind == NodeKind::kElement) {
      tree.root = c;
      break;
    }
  }
  if (tree.root != kNoNode) {
    for (std::uint32_t c = tree.nodes[tree.root].first_child; c != kNoNode;
         c = tree.nodes[c].next_sibling) {
      if (tree.IsHtmlElement(c, u"body")) {
        tree.body = c;
        break;
      }
    }
  }
  return tree;
}

}  // namespace corabind::html
