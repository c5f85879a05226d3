// The parsed tree as the parser helper hands it over: compact bytes that
// carry exactly what a Tree holds, nodes in document (pre-)order, so that
// the links between them need no more than each node's parent.
//
//   "CBT1", then per node after the container:
//     one byte   kind | namespace << 2
//     varint     parent index
//     string     data (UTF-8: varint length, then the bytes)
//     elements:  varint attribute count, then per attribute the name, the
//                value, the text as written (varint 0 when it equals the
//                value, else varint length + 1 and the bytes), and where
//                that text begins in the source (varint offset + 1, 0 for
//                nowhere)
//   then "END" and the number of nodes in 8 bytes (little-endian), so that a
//   cut-off stream is told from a whole one and the reader can make room
//   for every node at once. A node's parent is an element still open on
//   the way down to it: the nodes come in document order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/html/html_tree.h"

namespace corabind::html {

class WireWriter {
 public:
  virtual ~WireWriter() = default;
  virtual void Write(std::string_view bytes) = 0;

  void Begin() { Write("CBT1"); }
  void NodeHeader(NodeKind kind, Namespace ns, std::uint32_t parent);
  void Varint(std::uint64_t value);
  void String(std::string_view text);
  void RawString(std::string_view raw, std::string_view value);
  void End(std::uint64_t nodes);
};

// Collects the bytes in memory.
class StringWireWriter final : public WireWriter {
 public:
  void Write(std::string_view bytes) override { out.append(bytes); }
  std::string out;
};

// How much of the tree DecodeTree keeps.
enum class TreeDetail {
  kWhole,
  // What a reader of elements and their attributes needs, at a fraction of
  // the memory for a long page: the elements that have attributes, the
  // container's children, html, head and body elements, style elements
  // with all their direct children (a sheet's text), and all direct
  // children of object elements (its param elements). Each kept node's
  // parent is its nearest kept ancestor, in document order as before, and
  // template contents are left out: every element reached from the root
  // through children() is one of the whole tree's, with the same
  // attributes, and every one with attributes is reached.
  kAttributed,
};

// The tree these bytes describe; failure 5 when they are not a whole,
// well-formed tree. `wire_nodes`, when given, receives each kept node's
// index among the wire's nodes (the container is 0), in ascending order.
Tree DecodeTree(std::string_view wire, TreeDetail detail = TreeDetail::kWhole,
                std::vector<std::uint32_t>* wire_nodes = nullptr);

// Walks the nodes inside the wire's element `from` (the container is 0),
// in document order, as HtmlDocument::Walk does over the decoded tree:
// `open` and `close` around each element's content, `text` for each text
// node, template contents left out. Names and texts are the wire's UTF-8.
// Failure 5 when the bytes are not a well-formed tree.
struct WireWalk {
  std::function<void(std::uint32_t node, Namespace ns, std::string_view name)> open;
  std::function<void()> close;
  std::function<void(std::string_view text)> text;
};
void WalkWire(std::string_view wire, std::uint32_t from, const WireWalk& walk);

// The tree of a whole page made from the trees of its pieces (page_pieces.h):
// the first parsed as a document, the others as the body's content, whose
// nodes join the body with their source offsets counted from the page's
// start. Start and Add say false when a tree has not that shape (the page
// is then parsed whole); bytes that are not a tree are failure 5.
class WireJoiner {
 public:
  // Room is made at once for about `expected_bytes` (more costs only address
  // space): growing by doubling would hold the old bytes and the new at once.
  explicit WireJoiner(std::size_t expected_bytes) { out_.out.reserve(expected_bytes); }
  bool Start(std::string_view document);
  bool Add(std::string_view piece, std::size_t source_offset);
  std::uint64_t nodes() const { return total_; }
  std::string Finish();

 private:
  StringWireWriter out_;
  std::uint64_t body_ = 0, total_ = 0;
};

}  // namespace corabind::html
