#include "platform/html/tree_wire.h"

#include <algorithm>
#include <optional>

#include "core/failure.h"
#include "core/text.h"

namespace corabind::html {

void WireWriter::NodeHeader(NodeKind kind, Namespace ns, std::uint32_t parent) {
  const char flags =
      static_cast<char>(static_cast<unsigned>(kind) | static_cast<unsigned>(ns) << 2);
  Write(std::string_view(&flags, 1));
  Varint(parent);
}

void WireWriter::End(std::uint64_t nodes) {
  char trailer[11] = {'E', 'N', 'D'};
  for (int i = 0; i < 8; ++i) trailer[3 + i] = static_cast<char>(nodes >> (8 * i));
  Write(std::string_view(trailer, sizeof trailer));
}

void WireWriter::Varint(std::uint64_t value) {
  char bytes[10];
  std::size_t n = 0;
  do {
    const auto low = static_cast<unsigned char>(value & 0x7F);
    value >>= 7;
    bytes[n++] = static_cast<char>(value != 0 ? low | 0x80 : low);
  } while (value != 0);
  Write(std::string_view(bytes, n));
}

void WireWriter::String(std::string_view text) {
  Varint(text.size());
  Write(text);
}

void WireWriter::RawString(std::string_view raw, std::string_view value) {
  if (raw == value) {
    Varint(0);
    return;
  }
  Varint(raw.size() + 1);
  Write(raw);
}

namespace {

class Reader {
 public:
  explicit Reader(std::string_view bytes) : rest_(bytes) {}

  bool AtEnd() const { return rest_.size() == kTrailer && rest_.substr(0, 3) == "END"; }
  static constexpr std::size_t kTrailer = 11;
  std::uint8_t Byte() {
    Need(1);
    const auto b = static_cast<std::uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  std::uint64_t Varint() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const std::uint8_t b = Byte();
      value |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return value;
    }
    Bad();
  }
  std::string_view rest() const { return rest_; }
  std::string_view Bytes(std::uint64_t n) {
    Need(n);
    const std::string_view out = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return out;
  }
  std::u16string Text() { return FromUtf8(Bytes(Varint())); }
  void Need(std::uint64_t n) const {
    if (rest_.size() < n) Bad();
  }
  void NeedItems(std::uint64_t count, std::uint64_t bytes_each) const {
    if (count > rest_.size() / bytes_each) Bad();
  }
  [[noreturn]] static void Bad() {
    throw Failure(err::kInvalidCall, u"The HTML parser helper gave a damaged tree");
  }

 private:
  std::string_view rest_;
};

// One node as the wire gives it, its attributes left unread until a
// reader keeps it.
struct Record {
  NodeKind kind;
  Namespace ns;
  std::uint32_t index;  // among the wire's nodes
  bool in_template;
  std::string_view data;
  std::uint64_t attribute_count = 0;
  std::string_view attributes;                                 // the attributes' bytes
  std::uint32_t source_begin = kNoNode, source_end = kNoNode;  // a text's
};

// An element on the way down to the node being read, the container first.
struct Open {
  std::uint32_t node;
  bool template_content;  // its children are a template's contents
  // The decoder's: the tree node it is or lies in, and whether each of its
  // children is kept.
  std::uint32_t kept;
  bool keep_children;
};

// Reads the nodes in order, checking that each one's parent is an element
// still open, which closes those it does not lie in.
class NodeReader {
 public:
  explicit NodeReader(std::string_view wire) : in_(Body(wire)) {
    for (int i = 0; i < 8; ++i) {
      count_ |= std::uint64_t{static_cast<unsigned char>(wire[wire.size() - 8 + i])} << (8 * i);
    }
    // Every node takes at least three bytes: no room is made for more.
    in_.NeedItems(count_, 3);
    path_.push_back({0, false, 0, false});
  }

  std::uint64_t count() const { return count_; }
  // The element the node just read lies in, and that node when it is an
  // element (until the next one is read).
  const Open& Parent() const { return path_[parent_]; }
  std::size_t ParentDepth() const { return parent_; }  // the container's is 0
  Open& Self() { return path_.back(); }

  // The next node; false after the last one.
  bool Next(Record& r) {
    if (in_.AtEnd()) {
      if (next_ - 1 != count_) Reader::Bad();
      return false;
    }
    const std::uint8_t flags = in_.Byte();
    const std::uint64_t parent = in_.Varint();
    r.kind = static_cast<NodeKind>(flags & 3);
    r.ns = static_cast<Namespace>((flags >> 2) & 3);
    if (r.kind == NodeKind::kContainer || (flags >> 2) > 2 || next_ == kNoNode) Reader::Bad();
    while (!path_.empty() && path_.back().node != parent) path_.pop_back();
    if (path_.empty()) Reader::Bad();
    parent_ = path_.size() - 1;
    r.index = next_++;
    r.in_template = path_.back().template_content;
    r.data = in_.Bytes(in_.Varint());
    r.attribute_count = 0;
    r.source_begin = r.source_end = kNoNode;
    if (r.kind == NodeKind::kElement) {
      r.attribute_count = in_.Varint();
      in_.NeedItems(r.attribute_count, 4);  // at least one byte a field
      const std::string_view from = in_.rest();
      for (std::uint64_t i = 0; i < r.attribute_count; ++i) {
        in_.Bytes(in_.Varint());  // name
        in_.Bytes(in_.Varint());  // value
        if (const std::uint64_t raw = in_.Varint(); raw != 0) in_.Bytes(raw - 1);
        in_.Varint();  // where it begins
      }
      r.attributes = from.substr(0, from.size() - in_.rest().size());
      const bool is_template = r.ns == Namespace::kHtml && r.data == "template";
      path_.push_back({r.index, r.in_template || is_template, kNoNode, false});
    } else if (r.kind == NodeKind::kText) {
      const std::uint64_t begin = in_.Varint();
      if (begin != 0) {
        const std::uint64_t length = in_.Varint();
        if (begin - 1 + length < kNoNode) {
          r.source_begin = static_cast<std::uint32_t>(begin - 1);
          r.source_end = static_cast<std::uint32_t>(begin - 1 + length);
        }
      }
    }
    return true;
  }

 private:
  static std::string_view Body(std::string_view wire) {
    if (wire.size() < 4 + Reader::kTrailer || wire.substr(0, 4) != "CBT1") Reader::Bad();
    return wire.substr(4);
  }

  Reader in_;
  std::uint64_t count_ = 0;
  std::uint32_t next_ = 1;  // 0 is the container
  std::vector<Open> path_;
  std::size_t parent_ = 0;
};

// An attribute as the wire gives it.
struct AttributeField {
  std::string_view name, value;
  std::optional<std::string_view> written;  // when it differs from the value
  std::uint64_t begin;                      // where it begins in the source, plus one; 0: nowhere
};

template <typename Visit>
void ForEachAttribute(const Record& r, Visit visit) {
  Reader in(r.attributes);
  for (std::uint64_t i = 0; i < r.attribute_count; ++i) {
    AttributeField f;
    f.name = in.Bytes(in.Varint());
    f.value = in.Bytes(in.Varint());
    if (const std::uint64_t raw_size = in.Varint(); raw_size != 0)
      f.written = in.Bytes(raw_size - 1);
    f.begin = in.Varint();
    visit(f);
  }
}

std::vector<Attribute> DecodeAttributes(const Record& r) {
  std::vector<Attribute> attributes;
  attributes.reserve(r.attribute_count);
  ForEachAttribute(r, [&](const AttributeField& f) {
    Attribute a;
    a.name = FromUtf8(f.name);
    a.value = FromUtf8(f.value);
    const std::string_view raw = f.written.value_or(f.value);
    if (f.written) {
      a.written = FromUtf8(raw);
      a.written_is_value = false;
    }
    if (f.begin != 0 && f.begin - 1 + raw.size() < kNoNode) {
      a.source_begin = static_cast<std::uint32_t>(f.begin - 1);
      a.source_end = static_cast<std::uint32_t>(f.begin - 1 + raw.size());
    }
    attributes.push_back(std::move(a));
  });
  return attributes;
}

// Copies the nodes of `wire` to `out`, each one's parent and source offsets
// as `parent_of` and `shift` make them; `take` sees each node and its
// parent first and says whether it is copied.
template <typename ParentOf, typename Take>
void CopyNodes(std::string_view wire, WireWriter& out, std::uint64_t shift, ParentOf parent_of,
               Take take) {
  NodeReader in(wire);
  Record r;
  while (in.Next(r)) {
    const std::uint32_t parent = in.Parent().node;
    if (!take(r, parent)) continue;
    out.NodeHeader(r.kind, r.ns, parent_of(parent));
    out.String(r.data);
    if (r.kind == NodeKind::kElement) {
      out.Varint(r.attribute_count);
      ForEachAttribute(r, [&](const AttributeField& f) {
        out.String(f.name);
        out.String(f.value);
        out.RawString(f.written.value_or(f.value), f.value);
        out.Varint(f.begin == 0 ? 0 : f.begin + shift);
      });
    } else if (r.kind == NodeKind::kText) {
      if (r.source_begin == kNoNode) {
        out.Varint(0);
      } else {
        out.Varint(r.source_begin + 1 + shift);
        out.Varint(r.source_end - r.source_begin);
      }
    }
  }
}

bool NameIs(std::string_view name, std::string_view lower) {
  return name.size() == lower.size() &&
         std::equal(name.begin(), name.end(), lower.begin(), [](char a, char b) {
           return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
         });
}

// Whether a reader of elements and attributes needs the node (see
// TreeDetail::kAttributed).
bool Attributed(const Record& r, const Open& parent) {
  if (r.in_template) return false;
  if (parent.keep_children || parent.node == 0) return true;
  if (r.kind != NodeKind::kElement) return false;
  if (r.attribute_count != 0 || NameIs(r.data, "style")) return true;
  return r.ns == Namespace::kHtml && (r.data == "html" || r.data == "head" || r.data == "body");
}

}  // namespace

bool WireJoiner::Start(std::string_view document) {
  out_.Begin();
  // The document's nodes as they are, checking that the body is the last
  // element open: after it come only nodes inside it.
  std::uint32_t root = 0;
  body_ = 0;
  bool fits = true;
  total_ = 0;
  CopyNodes(
      document, out_, 0, [](std::uint32_t parent) { return parent; },
      [&](const Record& r, std::uint32_t parent) {
        ++total_;
        if (r.kind == NodeKind::kElement && parent == 0 && root == 0) root = r.index;
        if (r.kind == NodeKind::kElement && body_ == 0 && root != 0 && parent == root &&
            r.data == "body") {
          body_ = r.index;
        } else if (body_ != 0 && parent < body_) {
          fits = false;
        }
        return true;
      });
  return body_ != 0 && fits;
}

bool WireJoiner::Add(std::string_view piece, std::size_t source_offset) {
  // A piece is parsed as the content of a context element, node 1, whose
  // children become the body's.
  const std::uint64_t base = total_;
  std::uint64_t added = 0;
  bool fits = true;
  CopyNodes(
      piece, out_, source_offset,
      [&](std::uint32_t parent) { return parent == 1 ? body_ : base + parent - 1; },
      [&](const Record& r, std::uint32_t parent) {
        if (r.index == 1) {
          if (r.kind != NodeKind::kElement || parent != 0) fits = false;
          return false;
        }
        if (parent == 0) fits = false;
        ++added;
        return true;
      });
  total_ += added;
  return fits;
}

std::string WireJoiner::Finish() {
  out_.End(total_);
  return std::move(out_.out);
}

Tree DecodeTree(std::string_view wire, TreeDetail detail, std::vector<std::uint32_t>* wire_nodes) {
  NodeReader in(wire);
  const bool whole = detail == TreeDetail::kWhole;
  Tree tree;
  if (whole) tree.nodes.reserve(in.count() + 1);
  tree.nodes.emplace_back();  // the container
  if (wire_nodes) wire_nodes->assign(1, 0);
  // The root is the container's first element, the body the root's first
  // body element (both kept whatever the detail).
  std::uint32_t root_wire = kNoNode;
  Record r;
  while (in.Next(r)) {
    const Open& parent = in.Parent();
    if (!whole && !Attributed(r, parent)) {
      if (r.kind == NodeKind::kElement) in.Self().kept = parent.kept;
      continue;
    }
    const std::uint32_t parent_node = parent.kept;
    Node node;
    node.kind = r.kind;
    node.ns = r.ns;
    node.parent = parent_node;
    node.in_template = r.in_template;
    node.data = FromUtf8(r.data);
    node.source_begin = r.source_begin;
    node.source_end = r.source_end;
    if (r.kind == NodeKind::kElement) node.attributes = DecodeAttributes(r);
    const auto index = static_cast<std::uint32_t>(tree.nodes.size());
    Node& p = tree.nodes[parent_node];
    if (p.last_child == kNoNode) {
      p.first_child = index;
    } else {
      tree.nodes[p.last_child].next_sibling = index;
    }
    p.last_child = index;
    tree.nodes.push_back(std::move(node));
    if (wire_nodes) wire_nodes->push_back(r.index);
    if (r.kind != NodeKind::kElement) continue;
    in.Self().kept = index;
    in.Self().keep_children = NameIs(r.data, "style") || NameIs(r.data, "object");
    if (in.Parent().node == 0 && root_wire == kNoNode) {
      root_wire = r.index;
      tree.root = index;
    } else if (tree.body == kNoNode && in.Parent().node == root_wire && r.ns == Namespace::kHtml &&
               r.data == "body") {
      tree.body = index;
    }
  }
  return tree;
}

void WalkWire(std::string_view wire, std::uint32_t from, const WireWalk& walk) {
  NodeReader in(wire);
  constexpr std::size_t kNotYet = ~std::size_t{0};
  // Where `from` stands on the way down, once it is reached, and how many
  // elements below it are open: the elements between it and the parent of
  // a node that is no template content were all opened.
  std::size_t top = from == 0 ? 0 : kNotYet;
  std::size_t opened = 0;
  const auto close_to = [&](std::size_t open) {
    for (; opened > open; --opened) {
      if (walk.close) walk.close();
    }
  };
  Record r;
  while (in.Next(r)) {
    if (top == kNotYet) {
      if (r.index == from && r.kind == NodeKind::kElement) top = in.ParentDepth() + 1;
      continue;
    }
    if (r.in_template) continue;
    const std::size_t parent = in.ParentDepth();
    if (parent < top) break;  // past the end of `from`
    close_to(parent - top);
    if (r.kind == NodeKind::kElement) {
      if (walk.open) walk.open(r.index, r.ns, r.data);
      ++opened;
    } else if (r.kind == NodeKind::kText && walk.text) {
      walk.text(r.data);
    }
  }
  close_to(0);
}

}  // namespace corabind::html
