// The immutable node storage behind an HtmlDocument. Nodes live in one vector
// in document (pre-)order and link to each other by index, so every walk over
// the tree is a loop, never a recursion, whatever the nesting depth.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corabind::html {

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

enum class NodeKind : std::uint8_t { kContainer, kElement, kText, kComment };
enum class Namespace : std::uint8_t { kHtml, kSvg, kMathMl };

struct Attribute {
  std::u16string name;   // qualified name as the DOM reports it ("href", "xlink:href")
  std::u16string value;  // character references decoded
  // As written in the source, quotes removed: raw(). Mostly it equals the
  // value, and then only the value is kept.
  std::u16string written;
  bool written_is_value = true;
  // The bytes of `raw` in the parsed UTF-8 text, for edits made in place;
  // both kNoNode when the value was not written there.
  std::uint32_t source_begin = kNoNode;
  std::uint32_t source_end = kNoNode;

  const std::u16string& raw() const { return written_is_value ? value : written; }
};

struct Node {
  NodeKind kind = NodeKind::kContainer;
  Namespace ns = Namespace::kHtml;
  // Inside a template's contents: not part of the document's element walks.
  bool in_template = false;
  std::uint32_t parent = kNoNode;
  std::uint32_t first_child = kNoNode;
  std::uint32_t last_child = kNoNode;
  std::uint32_t next_sibling = kNoNode;
  // Elements: the local name (lower case for HTML). Text and comments: data.
  std::u16string data;
  std::vector<Attribute> attributes;
  // Text: byte offsets of the data as written in the parsed source; kNoNode
  // when not known.
  std::uint32_t source_begin = kNoNode, source_end = kNoNode;
};

struct Tree {
  std::vector<Node> nodes;  // nodes[0] is the container (document or fragment)
  std::uint32_t root = kNoNode;
  std::uint32_t body = kNoNode;

  bool IsHtmlElement(std::uint32_t index, std::u16string_view local_name) const {
    const Node& n = nodes[index];
    return n.kind == NodeKind::kElement && n.ns == Namespace::kHtml && n.data == local_name;
  }
};

}  // namespace corabind::html
