#include "platform/html/serialize.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace corabind::html {
namespace {

// WHATWG HTML "void elements" and the obsolete names the serializer also
// writes without an end tag.
constexpr std::array<std::u16string_view, 18> kVoid = {
    u"area", u"base",  u"basefont", u"bgsound", u"br",   u"col",   u"embed",  u"frame", u"hr",
    u"img",  u"input", u"keygen",   u"link",    u"meta", u"param", u"source", u"track", u"wbr"};
// Their text children are written unescaped.
constexpr std::array<std::u16string_view, 7> kRawText = {
    u"style", u"script", u"xmp", u"iframe", u"noembed", u"noframes", u"plaintext"};

template <std::size_t N>
bool OneOf(std::u16string_view name, const std::array<std::u16string_view, N>& set) {
  return std::find(set.begin(), set.end(), name) != set.end();
}

bool IsVoid(const Node& n) {
  return n.ns == Namespace::kHtml && OneOf(n.data, kVoid);
}

// WHATWG HTML "escaping a string": & and U+00A0 always; " in attribute
// mode; < and > in both modes (the standard escapes them in attribute values
// as well since 2025).
void AppendEscaped(std::u16string_view text, bool attribute_mode, std::u16string& out) {
  for (const char16_t c : text) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case 0x00A0:
        out += u"&nbsp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        if (attribute_mode) {
          out += u"&quot;";
        } else {
          out.push_back(c);
        }
        break;
      default:
        out.push_back(c);
    }
  }
}

void AppendStart(const Node& n, std::u16string& out) {
  out.push_back(u'<');
  out += n.data;
  for (const Attribute& a : n.attributes) {
    out.push_back(u' ');
    out += a.name;
    out += u"=\"";
    AppendEscaped(a.value, true, out);
    out.push_back(u'"');
  }
  out.push_back(u'>');
}

void AppendEnd(const Node& n, std::u16string& out) {
  out += u"</";
  out += n.data;
  out.push_back(u'>');
}

void AppendLeaf(const Tree& tree, const Node& n, std::u16string& out) {
  if (n.kind == NodeKind::kComment) {
    out += u"<!--";
    out += n.data;
    out += u"-->";
    return;
  }
  const Node& parent = tree.nodes[n.parent];
  const bool raw = parent.kind == NodeKind::kElement && parent.ns == Namespace::kHtml &&
                   OneOf(parent.data, kRawText);
  if (raw) {
    out += n.data;
  } else {
    AppendEscaped(n.data, false, out);
  }
}

// Writes `top` and everything below it, in document order.
void AppendSubtree(const Tree& tree, std::uint32_t top, std::u16string& out) {
  std::uint32_t cur = top;
  for (;;) {
    const Node& n = tree.nodes[cur];
    if (n.kind == NodeKind::kElement) {
      AppendStart(n, out);
      if (!IsVoid(n)) {
        if (n.first_child != kNoNode) {
          cur = n.first_child;
          continue;
        }
        AppendEnd(n, out);
      }
    } else {
      AppendLeaf(tree, n, out);
    }
    // Climb until a next sibling appears, closing each finished element.
    for (;;) {
      if (cur == top) return;
      const Node& done = tree.nodes[cur];
      if (done.next_sibling != kNoNode) {
        cur = done.next_sibling;
        break;
      }
      cur = done.parent;
      AppendEnd(tree.nodes[cur], out);
    }
  }
}

}  // namespace

std::u16string SerializeChildren(const Tree& tree, std::uint32_t node) {
  std::u16string out;
  const Node& n = tree.nodes[node];
  if (IsVoid(n)) return out;
  for (std::uint32_t c = n.first_child; c != kNoNode; c = tree.nodes[c].next_sibling) {
    AppendSubtree(tree, c, out);
  }
  return out;
}

std::u16string SerializeNode(const Tree& tree, std::uint32_t node) {
  std::u16string out;
  AppendSubtree(tree, node, out);
  return out;
}

}  // namespace corabind::html
