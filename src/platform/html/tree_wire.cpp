#include "platform/html/tree_wire.h"

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

// The node count a wire's trailer gives.
std::uint64_t NodeCount(std::string_view wire) {
  if (wire.size() < 4 + Reader::kTrailer || wire.substr(0, 4) != "CBT1") Reader::Bad();
  std::uint64_t count = 0;
  for (int i = 0; i < 8; ++i) {
    count |= std::uint64_t{static_cast<unsigned char>(wire[wire.size() - 8 + i])} << (8 * i);
  }
  return count;
}

// Copies the nodes of `in` to `out`, each one's parent and source offsets
// as `parent_of` and `shift` make them; `take` sees each node's kind, name
// and parent first and says whether it is copied.
template <typename ParentOf, typename Take>
void CopyNodes(Reader& in, WireWriter& out, std::uint64_t shift, ParentOf parent_of, Take take) {
  std::uint64_t index = 0;
  while (!in.AtEnd()) {
    ++index;
    const std::uint8_t flags = in.Byte();
    const std::uint64_t parent = in.Varint();
    const auto kind = static_cast<NodeKind>(flags & 3);
    const std::string_view data = in.Bytes(in.Varint());
    const bool copied = take(index, kind, data, parent);
    if (copied) {
      out.Write(std::string_view(reinterpret_cast<const char*>(&flags), 1));
      out.Varint(parent_of(parent));
      out.String(data);
    }
    const auto offset = [&](std::uint64_t begin) {
      if (copied) out.Varint(begin == 0 ? 0 : begin + shift);
    };
    if (kind == NodeKind::kElement) {
      const std::uint64_t count = in.Varint();
      if (copied) out.Varint(count);
      for (std::uint64_t i = 0; i < count; ++i) {
        const std::string_view name = in.Bytes(in.Varint());
        const std::string_view value = in.Bytes(in.Varint());
        const std::uint64_t raw_size = in.Varint();
        const std::string_view raw = raw_size == 0 ? std::string_view() : in.Bytes(raw_size - 1);
        if (copied) {
          out.String(name);
          out.String(value);
          out.Varint(raw_size);
          out.Write(raw);
        }
        offset(in.Varint());
      }
    } else if (kind == NodeKind::kText) {
      const std::uint64_t begin = in.Varint();
      offset(begin);
      if (begin != 0) {
        const std::uint64_t length = in.Varint();
        if (copied) out.Varint(length);
      }
    }
  }
}

}  // namespace

bool WireJoiner::Start(std::string_view document) {
  out_.out.clear();
  out_.Begin();
  // The document's nodes as they are, checking that the body is the last
  // element open: after it come only nodes inside it.
  std::uint64_t root = 0;
  body_ = 0;
  bool fits = true;
  Reader in(document.substr(4));
  total_ = NodeCount(document);
  CopyNodes(
      in, out_, 0, [](std::uint64_t parent) { return parent; },
      [&](std::uint64_t index, NodeKind kind, std::string_view name, std::uint64_t parent) {
        if (parent >= index) Reader::Bad();
        if (kind == NodeKind::kElement && parent == 0 && root == 0) root = index;
        if (kind == NodeKind::kElement && body_ == 0 && root != 0 && parent == root &&
            name == "body") {
          body_ = index;
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
  const std::uint64_t count = NodeCount(piece);
  const std::uint64_t base = total_;
  bool fits = count != 0;
  Reader in(piece.substr(4));
  CopyNodes(
      in, out_, source_offset,
      [&](std::uint64_t parent) { return parent == 1 ? body_ : base + parent - 1; },
      [&](std::uint64_t index, NodeKind kind, std::string_view, std::uint64_t parent) {
        if (index == 1) {
          if (kind != NodeKind::kElement || parent != 0) fits = false;
          return false;
        }
        if (parent == 0 || parent >= index) fits = false;
        return true;
      });
  if (fits) total_ += count - 1;
  return fits;
}

std::string WireJoiner::Finish() {
  out_.End(total_);
  return std::move(out_.out);
}

Tree DecodeTree(std::string_view wire) {
  if (wire.size() < 4 + Reader::kTrailer || wire.substr(0, 4) != "CBT1") Reader::Bad();
  std::uint64_t count = 0;
  for (int i = 0; i < 8; ++i) {
    count |= std::uint64_t{static_cast<unsigned char>(wire[wire.size() - 8 + i])} << (8 * i);
  }
  Reader in(wire.substr(4));
  // Every node takes at least three bytes: no room is made for more.
  in.NeedItems(count, 3);
  Tree tree;
  tree.nodes.reserve(count + 1);
  tree.nodes.emplace_back();  // the container
  while (!in.AtEnd()) {
    const std::uint8_t flags = in.Byte();
    const std::uint64_t parent_index = in.Varint();
    const auto kind = static_cast<NodeKind>(flags & 3);
    const auto ns = static_cast<Namespace>((flags >> 2) & 3);
    if (kind == NodeKind::kContainer || (flags >> 2) > 2 || parent_index >= tree.nodes.size() ||
        tree.nodes[parent_index].kind == NodeKind::kText ||
        tree.nodes[parent_index].kind == NodeKind::kComment) {
      Reader::Bad();
    }
    const auto parent = static_cast<std::uint32_t>(parent_index);
    Node node;
    node.kind = kind;
    node.ns = ns;
    node.parent = parent;
    node.data = in.Text();
    if (kind == NodeKind::kElement) {
      const std::uint64_t count = in.Varint();
      in.NeedItems(count, 4);  // at least one byte a field: no runaway reserve
      node.attributes.reserve(count);
      for (std::uint64_t i = 0; i < count; ++i) {
        Attribute a;
        a.name = in.Text();
        const std::string_view value = in.Bytes(in.Varint());
        a.value = FromUtf8(value);
        const std::uint64_t raw_size = in.Varint();
        const std::string_view raw = raw_size == 0 ? value : in.Bytes(raw_size - 1);
        if (raw_size != 0) {
          a.written = FromUtf8(raw);
          a.written_is_value = false;
        }
        const std::uint64_t begin = in.Varint();
        if (begin != 0 && begin - 1 + raw.size() < kNoNode) {
          a.source_begin = static_cast<std::uint32_t>(begin - 1);
          a.source_end = static_cast<std::uint32_t>(begin - 1 + raw.size());
        }
        node.attributes.push_back(std::move(a));
      }
    }
    if (kind == NodeKind::kText) {
      const std::uint64_t begin = in.Varint();
      if (begin != 0) {
        const std::uint64_t length = in.Varint();
        if (begin - 1 + length < kNoNode) {
          node.source_begin = static_cast<std::uint32_t>(begin - 1);
          node.source_end = static_cast<std::uint32_t>(begin - 1 + length);
        }
      }
    }
    const auto index = static_cast<std::uint32_t>(tree.nodes.size());
    if (index == kNoNode) Reader::Bad();
    Node& p = tree.nodes[parent];
    node.in_template = p.in_template || tree.IsHtmlElement(parent, u"template");
    if (p.last_child == kNoNode) {
      p.first_child = index;
    } else {
      tree.nodes[p.last_child].next_sibling = index;
    }
    p.last_child = index;
    tree.nodes.push_back(std::move(node));
  }
  if (tree.nodes.size() - 1 != count) Reader::Bad();

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
