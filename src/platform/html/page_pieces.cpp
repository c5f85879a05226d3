#include "platform/html/page_pieces.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/html/markup_cursor.h"

namespace corabind::html {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Start tags after which no cut is safe: their content or effect is not
// told by the tags that follow (menuitem was void in one edition of the
// standard and not in others: which Gumbo follows is not worth a cut).
constexpr std::array<std::string_view, 6> kStopsCutting = {"script",  "noscript", "plaintext",
                                                           "isindex", "template", "menuitem"};

// Start tags the body ignores: a cut before one would split the text around
// it, which one parse keeps as one text node.
constexpr std::array<std::string_view, 11> kIgnoredInBody = {
    "caption", "col", "colgroup", "frame", "head", "tbody", "td", "tfoot", "th", "thead", "tr"};

// Whether nothing but white space and the end tags of body and html follow
// `from`, as nothing else may follow a cut page's </body>: a comment or
// element there would land outside the body.
bool OnlyClosingLeft(std::string_view html, std::size_t from) {
  MarkupCursor cursor(html.substr(from));
  std::size_t text_from = 0;
  for (;;) {
    const MarkupCursor::Tag tag = cursor.Next();
    const std::size_t text_to =
        tag.kind == MarkupCursor::Kind::kEnd ? html.size() - from : tag.begin;
    for (std::size_t i = text_from; i < text_to; ++i) {
      if (!IsSpace(html[from + i])) return false;
    }
    if (tag.kind == MarkupCursor::Kind::kEnd) return true;
    if (tag.kind != MarkupCursor::Kind::kEndTag || (tag.name != "body" && tag.name != "html"))
      return false;
    text_from = cursor.position();
  }
}

// Whether the page begins with the doctype that puts the parser in no-quirks
// mode, the mode pieces parsed as the body's content are parsed in. Other
// doctypes and none at all may mean quirks mode, where a table nests in an
// open paragraph instead of closing it.
bool NoQuirksDoctype(std::string_view html) {
  std::size_t i = 0;
  const auto spaces = [&] {
    const std::size_t from = i;
    while (i < html.size() && IsSpace(html[i])) ++i;
    return i > from;
  };
  const auto word = [&](std::string_view lower) {
    if (html.size() - i < lower.size()) return false;
    for (char c : lower) {
      const char h = html[i++];
      if ((h >= 'A' && h <= 'Z' ? static_cast<char>(h + 32) : h) != c) return false;
    }
    return true;
  };
  spaces();
  if (!word("<!doctype") || !spaces() || !word("html")) return false;
  spaces();
  return word(">");
}

}  // namespace

std::vector<std::size_t> PieceStarts(std::string_view html, std::size_t piece_bytes) {
  std::vector<std::size_t> starts;
  if (piece_bytes == 0 || html.size() < 2 * piece_bytes) return starts;
  MarkupCursor cursor(html);
  std::vector<std::string> open;  // innermost last
  bool in_body = false;
  const bool no_quirks = NoQuirksDoctype(html);
  // Once cutting stops, the rest is still read: a later tag may undo the
  // cuts made so far.
  bool cutting = true;
  std::size_t piece_begin = 0;
  const auto opened = [&](std::string_view name) {
    return std::find(open.begin(), open.end(), name) != open.end();
  };
  for (;;) {
    const MarkupCursor::Tag tag = cursor.Next();
    if (tag.kind == MarkupCursor::Kind::kEnd) return starts;
    const std::string& name = tag.name;
    if (tag.kind == MarkupCursor::Kind::kEndTag) {
      if (name == "body" || name == "html") {
        if (!OnlyClosingLeft(html, tag.begin)) starts.clear();
        return starts;
      }
      if (name == "head" && !in_body) continue;
      if (open.empty() || open.back() != name) cutting = false;
      if (!open.empty()) open.pop_back();
      continue;
    }
    // Each of these reaches back to what came before: foreign content is
    // tokenized otherwise, a frameset may replace the body, and a second
    // html or body start tag adds its attributes to the first.
    // A table after a cut in quirks mode may nest in a paragraph there.
    if (name == "svg" || name == "math" || name == "frameset" ||
        (in_body && (name == "body" || name == "html")) ||
        (name == "table" && !no_quirks && !starts.empty())) {
      return {};
    }
    if (cutting && in_body && open.empty() && tag.begin - piece_begin >= piece_bytes &&
        std::find(kIgnoredInBody.begin(), kIgnoredInBody.end(), name) == kIgnoredInBody.end() &&
        html.size() - tag.begin >= piece_bytes / 2) {
      starts.push_back(tag.begin);
      piece_begin = tag.begin;
    }
    if (name == "body") {
      in_body = true;
      continue;
    }
    if (std::find(kStopsCutting.begin(), kStopsCutting.end(), name) != kStopsCutting.end() ||
        ((name == "a" || name == "nobr") && opened(name))) {
      cutting = false;
    }
    if (name == "html" || name == "head" || IsVoidElement(name)) continue;
    if (name == "plaintext") return starts;  // the rest is text
    if (IsRawTextElement(name)) {
      cursor.SkipRawText(name);
      continue;
    }
    open.push_back(name);
  }
}

}  // namespace corabind::html
