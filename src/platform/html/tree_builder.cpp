#include "platform/html/tree_builder.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/text.h"
#include "platform/html/html_document.h"
#include "platform/html/tree_wire.h"

namespace corabind::html {
namespace {

std::string AsciiLowerBytes(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

// The local name as the DOM reports it: lower case, with the SVG names that
// the WHATWG tree builder adjusts ("foreignObject") in their mixed case.
std::string ElementName(const GumboElement& e) {
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
  return name;
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
std::string AttributeName(const GumboAttribute& a) {
  std::string local = a.name == nullptr ? std::string() : std::string(a.name);
  switch (a.attr_namespace) {
    case GUMBO_ATTR_NAMESPACE_XLINK:
      return "xlink:" + local;
    case GUMBO_ATTR_NAMESPACE_XML:
      return "xml:" + local;
    case GUMBO_ATTR_NAMESPACE_XMLNS:
      return local == "xmlns" ? local : "xmlns:" + local;
    default:
      return local;
  }
}

// The value as written: Gumbo's original text includes the quotes, and for
// an attribute without a value it repeats the name.
std::string_view RawValue(const GumboAttribute& a) {
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
  return text;
}

std::string_view CString(const char* text) {
  return text == nullptr ? std::string_view() : std::string_view(text);
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

// What the reading process holds for a node or attribute besides its text,
// and for each string beside its characters (UTF-16: at most two bytes for
// each byte of UTF-8).
constexpr std::uint64_t kNodeBytes = sizeof(Node) + sizeof(HtmlElement) + sizeof(std::uint32_t);
constexpr std::uint64_t kAttributeBytes = sizeof(Attribute);
constexpr std::uint64_t kStringBytes = 16;
std::uint64_t StringBytes(std::string_view text) {
  return kStringBytes + 2 * static_cast<std::uint64_t>(text.size());
}

// Counts the tree as it is written and fails once it passes its limits.
class TreeCount {
 public:
  TreeCount(const TreeLimits& limits, std::size_t source_bytes)
      : limits_(limits), source_bytes_(source_bytes) {}
  void Node(std::string_view data) {
    if (++nodes_ > limits_.nodes) {
      throw Failure(err::kInvalidCall,
                    u"The HTML tree of this markup would hold more than " +
                        DecimalText(static_cast<std::int64_t>(limits_.nodes)) +
                        u" nodes, the limit for " +
                        DecimalText(static_cast<std::int64_t>(source_bytes_)) +
                        u" bytes of HTML (unclosed formatting elements are reopened in every "
                        u"paragraph)");
    }
    Add(kNodeBytes + StringBytes(data));
  }
  void Attribute(std::string_view name, std::string_view value, std::string_view raw) {
    Add(kAttributeBytes + StringBytes(name) + StringBytes(value) +
        (raw == value ? 0 : StringBytes(raw)));
  }

 private:
  void Add(std::uint64_t bytes) {
    bytes_ += bytes;
    if (bytes_ > limits_.bytes) throw Failure(err::kInvalidCall, TreeTooLargeText(source_bytes_));
  }
  const TreeLimits& limits_;
  std::size_t source_bytes_;
  std::uint64_t nodes_ = 0, bytes_ = 0;
};

}  // namespace

void EncodeTree(const GumboOutput& output, std::string_view source, std::size_t max_depth,
                const TreeLimits& limits, WireWriter& out) {
  out.Begin();
  std::vector<Pending> stack;
  PushChildren(stack, *output.document, 0, 1);
  std::uint32_t next_index = 1;  // 0 is the container
  TreeCount count(limits, source.size());

  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    const GumboNode& g = *p.node;
    switch (g.type) {
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE: {
        if (p.depth > max_depth) {
          throw Failure(err::kInvalidCall, u"HTML nesting deeper than " +
                                               DecimalText(static_cast<std::int64_t>(max_depth)) +
                                               u" elements");
        }
        const GumboElement& e = g.v.element;
        const std::string name = ElementName(e);
        count.Node(name);
        out.NodeHeader(NodeKind::kElement, NamespaceOf(e), p.parent);
        out.String(name);
        out.Varint(e.attributes.length);
        for (unsigned int i = 0; i < e.attributes.length; ++i) {
          const auto& a = *static_cast<const GumboAttribute*>(e.attributes.data[i]);
          const std::string_view value = CString(a.value), raw = RawValue(a);
          const std::string attribute_name = AttributeName(a);
          count.Attribute(attribute_name, value, raw);
          out.String(attribute_name);
          out.String(value);
          out.RawString(raw, value);
          // Where the value stands in the source, for edits made in place.
          const bool in_source = !raw.empty() && raw.data() >= source.data() &&
                                 raw.data() + raw.size() <= source.data() + source.size();
          out.Varint(in_source ? static_cast<std::uint64_t>(raw.data() - source.data()) + 1 : 0);
        }
        const std::uint32_t index = next_index++;
        PushChildren(stack, g, index, p.depth + 1);
        break;
      }
      case GUMBO_NODE_COMMENT:
        count.Node(CString(g.v.text.text));
        out.NodeHeader(NodeKind::kComment, Namespace::kHtml, p.parent);
        out.String(CString(g.v.text.text));
        ++next_index;
        break;
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_CDATA:
      case GUMBO_NODE_WHITESPACE:
        count.Node(CString(g.v.text.text));
        out.NodeHeader(NodeKind::kText, Namespace::kHtml, p.parent);
        out.String(CString(g.v.text.text));
        // Where the text stands in the source (0 when it was not written
        // there), for style sheets edited in place.
        if (g.v.text.original_text.data != nullptr) {
          out.Varint(static_cast<std::uint64_t>(g.v.text.start_pos.offset) + 1);
          out.Varint(g.v.text.original_text.length);
        } else {
          out.Varint(0);
        }
        ++next_index;
        break;
      case GUMBO_NODE_DOCUMENT:
        break;
    }
  }
  out.End(next_index - 1);
}

}  // namespace corabind::html
