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
//   for every node at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// The tree these bytes describe; failure 5 when they are not a whole,
// well-formed tree.
Tree DecodeTree(std::string_view wire);

// The tree of a whole page made from the trees of its pieces (page_pieces.h):
// the first parsed as a document, the others as the body's content, whose
// nodes join the body with their source offsets counted from the page's
// start. Start and Add say false when a tree has not that shape (the page
// is then parsed whole); bytes that are not a tree are failure 5.
class WireJoiner {
 public:
  bool Start(std::string_view document);
  bool Add(std::string_view piece, std::size_t source_offset);
  std::uint64_t nodes() const { return total_; }
  std::string Finish();

 private:
  StringWireWriter out_;
  std::uint64_t body_ = 0, total_ = 0;
};

}  // namespace corabind::html
