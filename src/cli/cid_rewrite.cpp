#include "cli/cid_rewrite.h"

#include <algorithm>
#include <vector>

#include "core/text.h"

namespace corabind::cli {

std::string CidUrl(std::u16string_view key) {
  // RFC 2392 clients undo %hh before matching the Content-ID, so anything
  // outside the URL characters that also stand safely inside a quoted HTML
  // attribute is escaped; "&" and quotes included.
  static constexpr std::string_view kKeep =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$()*+,;=:@/";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "cid:";
  for (const char c : ToUtf8(key)) {
    if (kKeep.find(c) != std::string_view::npos) {
      out += c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

namespace {

struct Replacement {
  std::size_t begin, end;
  std::string text;
};

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

bool HasToken(std::u16string_view list, std::u16string_view token) {
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && IsSpace(list[i])) ++i;
    std::size_t j = i;
    while (j < list.size() && !IsSpace(list[j])) ++j;
    if (EqualsIgnoringAsciiCase(list.substr(i, j - i), token)) return true;
    i = j;
  }
  return false;
}

const html::Attribute* Find(const html::Node& node, std::u16string_view name) {
  for (const html::Attribute& a : node.attributes) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

class Rewriter {
 public:
  Rewriter(std::string_view text, const std::function<bool(const std::u16string&)>& is_part)
      : text_(text), is_part_(is_part) {}

  void Element(const html::Node& e) {
    for (const char16_t* name : {u"src", u"background"}) Consider(Find(e, name), false);
    if (e.ns != html::Namespace::kHtml) return;
    if (e.data == u"link") {
      const html::Attribute* rel = Find(e, u"rel");
      if (rel != nullptr && HasToken(rel->value, u"stylesheet")) Consider(Find(e, u"href"), false);
    }
    if (e.data == u"object") {
      const html::Attribute* classid = Find(e, u"classid");
      if (classid != nullptr && classid->value == u"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000") {
        Consider(Find(e, u"movie"), true);
      }
    }
  }

  std::string Result() {
    // The tree's order is not always the source's (a table's stray content
    // moves before it), so the edits are put in source order here.
    std::sort(replacements_.begin(), replacements_.end(),
              [](const Replacement& a, const Replacement& b) { return a.begin < b.begin; });
    std::string out;
    out.reserve(text_.size() + 64 * replacements_.size());
    std::size_t at = 0;
    for (const Replacement& r : replacements_) {
      if (r.begin < at) continue;  // one value is only ever edited once
      out.append(text_.substr(at, r.begin - at));
      out += r.text;
      at = r.end;
    }
    out.append(text_.substr(at));
    return out;
  }

 private:
  void Consider(const html::Attribute* attribute, bool key_is_value) {
    // No value written, or not in the source (never expected).
    if (attribute == nullptr || attribute->source_begin == html::kNoNode ||
        attribute->source_end > text_.size() || attribute->source_begin >= attribute->source_end) {
      return;
    }
    const std::u16string& key = key_is_value ? attribute->value : attribute->raw();
    if (!is_part_(key)) return;
    replacements_.push_back({attribute->source_begin, attribute->source_end, CidUrl(key)});
  }

  std::string_view text_;
  const std::function<bool(const std::u16string&)>& is_part_;
  std::vector<Replacement> replacements_;
};

}  // namespace

std::string RewriteToCid(const html::HtmlDocument& document, std::string_view utf8,
                         const std::function<bool(const std::u16string& key)>& is_part) {
  Rewriter rewriter(utf8, is_part);
  // A template, and its contents, are no part of the walks, so they are left
  // as written.
  const html::Tree& tree = document.tree();
  for (std::uint32_t i = 0; i < tree.nodes.size(); ++i) {
    const html::Node& node = tree.nodes[i];
    if (node.kind == html::NodeKind::kElement && !node.in_template &&
        !tree.IsHtmlElement(i, u"template")) {
      rewriter.Element(node);
    }
  }
  return rewriter.Result();
}

}  // namespace corabind::cli
