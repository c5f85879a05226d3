#include "mail/plain_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

#include "core/document.h"
#include "core/text.h"

namespace corabind::mail {

namespace {

enum class Break { kNone, kLine, kParagraph };

struct BlockRule {
  std::u16string_view name;
  Break around;
};

// Elements that stand on lines of their own; everything else flows inline.
constexpr BlockRule kBlocks[] = {
    {u"p", Break::kParagraph},      {u"h1", Break::kParagraph},
    {u"h2", Break::kParagraph},     {u"h3", Break::kParagraph},
    {u"h4", Break::kParagraph},     {u"h5", Break::kParagraph},
    {u"h6", Break::kParagraph},     {u"blockquote", Break::kParagraph},
    {u"pre", Break::kParagraph},    {u"table", Break::kParagraph},
    {u"hr", Break::kParagraph},     {u"dl", Break::kParagraph},
    {u"figure", Break::kParagraph}, {u"address", Break::kParagraph},
    {u"div", Break::kLine},         {u"section", Break::kLine},
    {u"article", Break::kLine},     {u"header", Break::kLine},
    {u"footer", Break::kLine},      {u"main", Break::kLine},
    {u"nav", Break::kLine},         {u"aside", Break::kLine},
    {u"center", Break::kLine},      {u"form", Break::kLine},
    {u"fieldset", Break::kLine},    {u"figcaption", Break::kLine},
    {u"caption", Break::kLine},     {u"tr", Break::kLine},
    {u"li", Break::kLine},          {u"dt", Break::kLine},
    {u"dd", Break::kLine},          {u"body", Break::kLine},
};

// Elements whose content no reader sees as text of the page.
constexpr std::u16string_view kSilent[] = {u"head",     u"script",   u"style",  u"title",
                                           u"template", u"noscript", u"iframe", u"select"};

Break BreakAround(std::u16string_view name) {
  for (const BlockRule& rule : kBlocks) {
    if (rule.name == name) return rule.around;
  }
  return Break::kNone;
}

std::u16string Attribute(const Element& e, const char16_t* name) {
  const Variant value = e.getAttribute(name, 0);
  return value.IsNull() ? std::u16string() : value.ToText();
}

// Hidden from every reader: the hidden attribute, or display:none written
// in the element's style (how newsletters hide their preview line).
bool Hidden(const Element& e) {
  if (!e.getAttribute(u"HIDDEN", 0).IsNull()) return true;
  std::u16string style = AsciiLower(Attribute(e, u"STYLE"));
  std::erase_if(style, [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; });
  return style.find(u"display:none") != std::u16string::npos;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string Collapsed(std::string_view text) {
  std::string out;
  bool space = false;
  for (char c : text) {
    if (IsSpace(c)) {
      space = !out.empty();
    } else {
      if (space) out += ' ';
      space = false;
      out += c;
    }
  }
  return out;
}

class TextWriter : public ContentVisitor {
 public:
  void Open(std::u16string_view name, const Element& e) override {
    if (silent_ > 0) {
      ++silent_;
      return;
    }
    if (std::find(std::begin(kSilent), std::end(kSilent), name) != std::end(kSilent) || Hidden(e)) {
      silent_ = 1;
      return;
    }
    Frame frame{BreakAround(name), false};
    if (name == u"ul" || name == u"ol") {
      // A list inside a list item only starts a line: the items stay together.
      frame.around = lists_.empty() ? Break::kParagraph : Break::kLine;
      int start = 1;
      const std::string written = ToUtf8(Attribute(e, u"START"));
      std::from_chars(written.data(), written.data() + written.size(), start);
      lists_.push_back({name == u"ol", start});
    }
    Block(frame.around);
    if (name == u"li") {
      const std::size_t depth = std::max<std::size_t>(lists_.size(), 1);
      marker_.assign(2 * (depth - 1), ' ');
      if (!lists_.empty() && lists_.back().ordered) {
        marker_ += std::to_string(lists_.back().next++) + ". ";
      } else {
        marker_ += "- ";
      }
    } else if (name == u"br") {
      EndLine(true);
    } else if (name == u"pre") {
      ++pre_;
    } else if (name == u"td" || name == u"th") {
      cell_ = !LineEmpty();
    } else if (name == u"img") {
      const std::u16string alt = Attribute(e, u"ALT");
      if (!alt.empty()) {
        space_ = true;
        Text(alt);
        space_ = true;
      }
    } else if (name == u"a") {
      frame.link = true;
      links_.push_back({Collapsed(ToUtf8(Attribute(e, u"HREF"))), {}});
    }
    frames_.push_back(frame);
  }

  void Close(std::u16string_view name) override {
    if (silent_ > 0) {
      --silent_;
      return;
    }
    if (frames_.empty()) return;
    const Frame frame = frames_.back();
    frames_.pop_back();
    if (name == u"pre" && pre_ > 0) --pre_;
    if ((name == u"ul" || name == u"ol") && !lists_.empty()) lists_.pop_back();
    if (name == u"li") marker_.clear();
    if (frame.link && !links_.empty()) {
      const Link link = std::move(links_.back());
      links_.pop_back();
      const std::string text = Collapsed(link.text);
      if (Shown(link.href) && text != link.href && "mailto:" + text != link.href) {
        space_ = true;
        Put("<" + link.href + ">");
      }
    }
    Block(frame.around);
  }

  void Text(std::u16string_view text) override {
    if (silent_ > 0) return;
    std::string utf8 = ToUtf8(text);
    // A no-break space reads as a space (a paragraph of one says nothing).
    for (std::size_t at = utf8.find("\xC2\xA0"); at != std::string::npos;
         at = utf8.find("\xC2\xA0", at)) {
      utf8.replace(at, 2, " ");
    }
    if (!links_.empty()) links_.back().text += utf8;
    if (pre_ > 0) {
      std::size_t from = 0;
      for (std::size_t lf = utf8.find('\n'); from <= utf8.size(); lf = utf8.find('\n', from)) {
        std::string_view piece = std::string_view(utf8).substr(from, lf - from);
        if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
        if (!piece.empty()) Put(piece, true);
        if (lf == std::string::npos) break;
        EndLine(true);
        from = lf + 1;
      }
      return;
    }
    std::size_t at = 0;
    while (at < utf8.size()) {
      if (IsSpace(utf8[at])) {
        space_ = true;
        ++at;
        continue;
      }
      std::size_t end = at;
      while (end < utf8.size() && !IsSpace(utf8[end])) ++end;
      Put(std::string_view(utf8).substr(at, end - at));
      at = end;
    }
  }

  std::string Finish() {
    EndLine(false);
    while (out_.size() >= 2 && out_.ends_with("\n\n")) out_.pop_back();
    return std::move(out_);
  }

 private:
  struct Frame {
    Break around;
    bool link;
  };
  struct List {
    bool ordered;
    std::int64_t next;  // wider than a start: counting on from the largest does not overflow
  };
  struct Link {
    std::string href, text;
  };

  static bool Shown(std::string_view href) {
    return !href.empty() && href.front() != '#' && !href.starts_with("javascript:") &&
           !href.starts_with("data:");
  }

  bool LineEmpty() const { return line_.size() <= prefix_; }

  void Block(Break b) {
    if (b > pending_) pending_ = b;
  }

  // Ends the line being written; `force` writes it even when it is empty
  // (a line break of the page's own), except at the very top.
  void EndLine(bool force) {
    const bool empty = LineEmpty();
    if (!empty) {
      while (!line_.empty() && line_.back() == ' ') line_.pop_back();
      out_ += line_;
      out_ += '\n';
    } else if (force && !out_.empty()) {
      out_ += '\n';
    }
    line_.clear();
    prefix_ = 0;
    space_ = false;
    cell_ = false;
  }

  // Writes a run of text; `literal` keeps its spaces as they are.
  void Put(std::string_view run, bool literal = false) {
    if (pending_ != Break::kNone) {
      if (!LineEmpty()) EndLine(false);
      if (pending_ == Break::kParagraph && !out_.empty() && !out_.ends_with("\n\n")) out_ += '\n';
      pending_ = Break::kNone;
      line_.clear();
      prefix_ = 0;
      space_ = false;
      cell_ = false;
    }
    if (LineEmpty()) {
      if (!marker_.empty()) {
        line_ = marker_;
        marker_.clear();
      } else if (line_.empty() && !lists_.empty() && prefix_ == 0) {
        line_.assign(2 * lists_.size(), ' ');  // a list item's later lines
      }
      prefix_ = line_.size();
    } else if (cell_) {
      line_ += " | ";
    } else if (space_ && !literal) {
      line_ += ' ';
    }
    space_ = false;
    cell_ = false;
    line_.append(run);
  }

  std::string out_;
  std::string line_;
  std::size_t prefix_ = 0;  // bytes of line_ that are a list marker or indent
  Break pending_ = Break::kNone;
  bool space_ = false;
  bool cell_ = false;  // a table cell begins on a line that has text
  int silent_ = 0;     // depth inside an element that says nothing
  int pre_ = 0;
  std::string marker_;  // the list item's marker, until its first text
  std::vector<Frame> frames_;
  std::vector<List> lists_;
  std::vector<Link> links_;
};

// The code point starting at byte `at`, and how many bytes it takes.
char32_t CodePoint(std::string_view s, std::size_t at, std::size_t& length) {
  const auto b = static_cast<unsigned char>(s[at]);
  length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  if (at + length > s.size()) length = 1;
  char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
  for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (s[at + i] & 0x3F);
  return c;
}

// Scripts written without spaces between words, where a line may break
// between any two characters.
bool BreaksAnywhere(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) ||
         (c >= 0x20000 && c <= 0x3FFFF);
}

bool NeedsStuffing(std::string_view line) {
  return line.starts_with(' ') || line.starts_with('>') || line.starts_with("From ");
}

std::size_t Characters(std::string_view s, std::size_t most) {
  std::size_t chars = 0;
  for (std::size_t at = 0; at < s.size() && chars <= most; ++chars) {
    std::size_t length = 0;
    CodePoint(s, at, length);
    at += length;
  }
  return chars;
}

struct Cut {
  std::size_t at = 0;   // bytes before the break; 0 when the line cannot break
  bool within = false;  // the part before it fits
};

// Where `line` best breaks for its first `room` characters to stand on a
// line of their own: after the last space, or (`anywhere`) between two
// characters of a script that breaks anywhere; past `room` only when there
// is no such place before it (a long word stays whole).
Cut BreakOf(std::string_view line, std::size_t room, bool anywhere) {
  std::size_t chars = 0, at = 0, best = 0;
  bool seen_text = false;
  char32_t before = 0;
  while (at < line.size()) {
    std::size_t length = 0;
    const char32_t c = CodePoint(line, at, length);
    if (anywhere && seen_text && before != ' ' && c != ' ' &&
        (BreaksAnywhere(c) || BreaksAnywhere(before))) {
      if (chars > room) return best ? Cut{best, true} : Cut{at, false};
      best = at;
    }
    ++chars;
    at += length;
    if (c == ' ' && seen_text) {
      if (chars > room) return best ? Cut{best, true} : Cut{at, false};
      best = at;
    }
    if (c != ' ') seen_text = true;
    before = c;
  }
  return {best, best != 0};
}

// Appends `line` flowed; false, having appended nothing, when without
// `delsp` it could only break between two characters.
bool FlowLine(std::string_view line, bool delsp, std::string& out) {
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  std::string flowed;
  for (;;) {
    const std::size_t stuffing = NeedsStuffing(line) ? 1 : 0;
    const std::size_t width = kFlowedWidth - stuffing;
    Cut cut;
    if (Characters(line, width) > width) {
      // With delsp one character of a broken line is the space added to
      // make it flow; without, the space it breaks at does.
      cut = BreakOf(line, delsp ? width - 1 : width, delsp);
      if (!delsp && !cut.within && BreakOf(line, width - 1, true).within) return false;
    }
    if (stuffing) flowed += ' ';
    if (cut.at == 0 || cut.at >= line.size()) {
      flowed.append(line);
      flowed += '\n';
      out += flowed;
      return true;
    }
    flowed.append(line.substr(0, cut.at));
    flowed += delsp ? " \n" : "\n";
    line.remove_prefix(cut.at);
  }
}

std::string FlowedWith(std::string_view text, bool delsp, bool& done) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  done = true;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    if (!FlowLine(text.substr(0, lf), delsp, out)) {
      done = false;
      return {};
    }
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return out;
}

}  // namespace

std::string PageText(const ContentWalk& walk) {
  TextWriter writer;
  if (walk) walk(writer);
  return writer.Finish();
}

FlowedText Flowed(std::string_view text) {
  bool done = false;
  std::string plain = FlowedWith(text, false, done);
  if (done) return {std::move(plain), false};
  return {FlowedWith(text, true, done), true};
}

}  // namespace corabind::mail
