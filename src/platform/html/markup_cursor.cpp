#include "platform/html/markup_cursor.h"

#include <algorithm>
#include <array>

namespace corabind::html {
namespace {

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& set) {
  return std::find(set.begin(), set.end(), name) != set.end();
}

constexpr std::array<std::string_view, 20> kVoid = {
    "area", "base",  "basefont", "bgsound", "br",       "col",  "embed", "frame",  "hr",    "image",
    "img",  "input", "keygen",   "link",    "menuitem", "meta", "param", "source", "track", "wbr"};
constexpr std::array<std::string_view, 16> kClosesOwnKind = {
    "p",  "li", "dt", "dd", "option", "optgroup", "tr",       "td",
    "th", "rb", "rt", "rp", "rtc",    "caption",  "colgroup", "tbody"};
constexpr std::array<std::string_view, 8> kRawText = {"script",  "style",    "xmp",      "iframe",
                                                      "noembed", "noframes", "textarea", "title"};

}  // namespace

bool IsVoidElement(std::string_view name) {
  return OneOf(name, kVoid);
}
bool IsRawTextElement(std::string_view name) {
  return OneOf(name, kRawText);
}
bool ClosesItsOwnKind(std::string_view name) {
  return OneOf(name, kClosesOwnKind);
}

MarkupCursor::Tag MarkupCursor::Next(bool foreign) {
  while (pos_ < s_.size()) {
    const std::size_t lt = s_.find('<', pos_);
    if (lt == std::string_view::npos) break;
    pos_ = lt + 1;
    if (pos_ >= s_.size()) break;
    const char c = s_[pos_];
    if (IsAsciiAlpha(c)) {
      Tag tag{Kind::kStartTag, ReadName(), false, lt};
      tag.self_closing = SkipAttributes();
      return tag;
    }
    if (c == '/') {
      ++pos_;
      if (pos_ < s_.size() && IsAsciiAlpha(s_[pos_])) {
        Tag tag{Kind::kEndTag, ReadName(), false, lt};
        SkipAttributes();
        return tag;
      }
      SkipPast(">");  // "</>" or a bogus comment
    } else if (c == '!') {
      MarkupDeclaration(foreign);
    } else if (c == '?') {
      SkipPast(">");
    }
  }
  pos_ = s_.size();
  return Tag{};
}

std::string MarkupCursor::ReadName() {
  std::string name;
  while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != '/' && s_[pos_] != '>') {
    name.push_back(Lower(s_[pos_++]));
  }
  return name;
}

// Skips the attributes of a tag as the tokenizer reads them; true when the
// tag ends with "/>".
bool MarkupCursor::SkipAttributes() {
  bool self_closing = false;
  while (pos_ < s_.size()) {
    const char c = s_[pos_];
    if (c == '>') {
      ++pos_;
      return self_closing;
    }
    self_closing = (c == '/');
    if (IsSpace(c) || c == '/') {
      ++pos_;
      continue;
    }
    // Attribute name: its first character may be '=', later ones may not.
    ++pos_;
    while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != '/' && s_[pos_] != '>' &&
           s_[pos_] != '=') {
      ++pos_;
    }
    while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
    if (pos_ >= s_.size() || s_[pos_] != '=') continue;
    ++pos_;
    while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
    if (pos_ < s_.size() && (s_[pos_] == '"' || s_[pos_] == '\'')) {
      const std::size_t close = s_.find(s_[pos_], pos_ + 1);
      pos_ = close == std::string_view::npos ? s_.size() : close + 1;
    } else {
      while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != '>') ++pos_;
    }
  }
  return false;
}

void MarkupCursor::MarkupDeclaration(bool foreign) {
  ++pos_;
  if (s_.substr(pos_, 2) == "--") {
    pos_ += 2;
    // "<!-->" and "<!--->" end at once; otherwise "-->" or "--!>".
    if (s_.substr(pos_, 1) == ">") {
      ++pos_;
    } else if (s_.substr(pos_, 2) == "->") {
      pos_ += 2;
    } else {
      // Every "--" is a candidate end; one forward pass keeps this linear.
      std::size_t at = pos_;
      for (;;) {
        at = s_.find("--", at);
        if (at == std::string_view::npos) {
          pos_ = s_.size();
          break;
        }
        if (s_.substr(at + 2, 1) == ">") {
          pos_ = at + 3;
          break;
        }
        if (s_.substr(at + 2, 2) == "!>") {
          pos_ = at + 4;
          break;
        }
        ++at;
      }
    }
  } else if (foreign && s_.substr(pos_, 7) == "[CDATA[") {
    SkipPast("]]>");
  } else {
    SkipPast(">");
  }
}

void MarkupCursor::SkipRawText(const std::string& name) {
  while (pos_ < s_.size()) {
    const std::size_t lt = s_.find("</", pos_);
    if (lt == std::string_view::npos) break;
    pos_ = lt + 2;
    std::size_t i = 0;
    while (i < name.size() && pos_ + i < s_.size() && Lower(s_[pos_ + i]) == name[i]) ++i;
    const std::size_t after = pos_ + i;
    if (i == name.size() &&
        (after >= s_.size() || IsSpace(s_[after]) || s_[after] == '/' || s_[after] == '>')) {
      pos_ = after;
      SkipAttributes();
      return;
    }
  }
  pos_ = s_.size();
}

void MarkupCursor::SkipPast(std::string_view marker) {
  const std::size_t at = s_.find(marker, pos_);
  pos_ = at == std::string_view::npos ? s_.size() : at + marker.size();
}

}  // namespace corabind::html
