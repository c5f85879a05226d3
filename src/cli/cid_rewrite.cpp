#include "cli/cid_rewrite.h"

#include <algorithm>
#include <vector>

#include "core/text.h"
#include "platform/html/gumbo_output.h"

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

bool HasToken(std::string_view list, std::string_view token) {
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && std::string_view(" \t\n\f\r").find(list[i]) != std::string_view::npos)
      ++i;
    std::size_t j = i;
    while (j < list.size() && std::string_view(" \t\n\f\r").find(list[j]) == std::string_view::npos)
      ++j;
    if (EqualsIgnoringAsciiCase(FromUtf8(list.substr(i, j - i)), FromUtf8(token))) return true;
    i = j;
  }
  return false;
}

const GumboAttribute* Find(const GumboElement& e, const char* name) {
  return gumbo_get_attribute(&e.attributes, name);
}

class Rewriter {
 public:
  Rewriter(std::string_view text, const std::function<bool(const std::u16string&)>& is_part)
      : text_(text), is_part_(is_part) {}

  void Element(const GumboElement& e) {
    for (const char* name : {"src", "background"}) Consider(Find(e, name), false);
    if (e.tag == GUMBO_TAG_LINK) {
      const GumboAttribute* rel = Find(e, "rel");
      if (rel != nullptr && HasToken(rel->value, "stylesheet")) Consider(Find(e, "href"), false);
    }
    if (e.tag == GUMBO_TAG_OBJECT) {
      const GumboAttribute* classid = Find(e, "classid");
      if (classid != nullptr &&
          std::string_view(classid->value) == "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000") {
        Consider(Find(e, "movie"), true);
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
  void Consider(const GumboAttribute* attribute, bool key_is_value) {
    if (attribute == nullptr) return;
    const GumboStringPiece& source = attribute->original_value;
    if (source.length == 0 || source.data < text_.data() ||
        source.data + source.length > text_.data() + text_.size()) {
      return;  // no value written, or not in the source (never expected)
    }
    std::size_t begin = static_cast<std::size_t>(source.data - text_.data());
    std::size_t end = begin + source.length;
    if (text_[begin] == '"' || text_[begin] == '\'') {
      ++begin;
      --end;
    }
    const std::u16string key =
        key_is_value ? FromUtf8(attribute->value) : FromUtf8(text_.substr(begin, end - begin));
    if (!is_part_(key)) return;
    replacements_.push_back({begin, end, CidUrl(key)});
  }

  std::string_view text_;
  const std::function<bool(const std::u16string&)>& is_part_;
  std::vector<Replacement> replacements_;
};

}  // namespace

std::string RewriteToCid(std::string_view utf8,
                         const std::function<bool(const std::u16string& key)>& is_part) {
  const html::GumboParse parse(utf8, GUMBO_TAG_LAST);
  Rewriter rewriter(utf8, is_part);
  // Document order without recursion. A template's contents are no part of
  // the walks, so they are left as written.
  std::vector<const GumboNode*> pending{parse.output().document};
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    const GumboVector* children = nullptr;
    if (node->type == GUMBO_NODE_ELEMENT) {
      rewriter.Element(node->v.element);
      children = &node->v.element.children;
    } else if (node->type == GUMBO_NODE_DOCUMENT) {
      children = &node->v.document.children;
    }
    if (children == nullptr) continue;
    for (unsigned i = children->length; i-- > 0;) {
      pending.push_back(static_cast<const GumboNode*>(children->data[i]));
    }
  }
  return rewriter.Result();
}

}  // namespace corabind::cli
