#include "mail/page_references.h"

#include <memory>
#include <unordered_set>

#include "core/document.h"
#include "core/text.h"
#include "mime/reference_rules.h"

namespace corabind::mail {

namespace {

bool HasToken(std::u16string_view list, std::u16string_view token) {
  constexpr std::u16string_view kSpace = u" \t\n\f\r";
  std::size_t i = 0;
  while (i < list.size()) {
    i = list.find_first_not_of(kSpace, i);
    if (i == std::u16string_view::npos) break;
    std::size_t j = list.find_first_of(kSpace, i);
    if (j == std::u16string_view::npos) j = list.size();
    if (EqualsIgnoringAsciiCase(list.substr(i, j - i), token)) return true;
    i = j;
  }
  return false;
}

class Scanner {
 public:
  explicit Scanner(const SourceLocator& locate) : locate_(locate) {}

  void Visit(const Element& e, bool in_body) {
    const std::u16string tag = AsciiLower(e.tagName());
    if (in_body) {
      static const std::u16string kImageAttributes[] = {u"SRC", u"BACKGROUND"};
      for (const std::u16string& name : kImageAttributes) {
        Add(e, name, MatchImageAttribute(e, name), false);
      }
      // The tag is compared first here: the other rules only ever hold for
      // their own element, and a long page has few of them.
      if (tag == kFlashEmbedRule.tag) {
        Add(e, kFlashEmbedRule.url_name, MatchRule(e, kFlashEmbedRule), false);
      } else if (tag == kObjectMovieRule.tag && RuleApplies(e, kObjectMovieRule)) {
        Add(e, kObjectMovieRule.url_name, MatchRule(e, kObjectMovieRule), false);
        MovieParameters(e);
      }
    }
    if (tag == u"link") {
      // As the document's style-sheet list has it: rel holds the token.
      const auto rel = UrlAttribute(e, u"REL", 0);
      if (rel && HasToken(*rel, u"stylesheet")) {
        const auto href = UrlAttribute(e, u"HREF", 2);
        if (href) Add(e, u"HREF", RuleMatch{*href, *href}, true);
      }
    } else if (tag == u"style" && locate_.text) {
      if (const auto where = locate_.text(e)) scan_.css.push_back({*where, std::nullopt});
    } else if (tag == u"meta") {
      if (!e.getAttribute(u"CHARSET", 0).IsNull()) Locate(e, u"CHARSET", scan_.charset_labels);
      const auto equiv = UrlAttribute(e, u"HTTP-EQUIV", 0);
      if (equiv && EqualsIgnoringAsciiCase(*equiv, u"content-type")) {
        Locate(e, u"CONTENT", scan_.content_types);
      }
    }
    if (locate_.attribute) {
      if (const auto where = locate_.attribute(e, u"STYLE")) {
        scan_.css.push_back({*where, ToUtf8(e.getAttribute(u"STYLE", 0).ToText())});
      }
    }
  }

  PageScan Result() { return std::move(scan_); }

 private:
  // <object><param name="movie" value="..."> names the same movie for
  // players that read the parameter rather than the attribute.
  void MovieParameters(const Element& object) {
    for (const auto& child : object.children()) {
      if (!child || AsciiLower(child->tagName()) != u"param") continue;
      const auto name = UrlAttribute(*child, u"NAME", 0);
      if (!name || !EqualsIgnoringAsciiCase(*name, u"movie")) continue;
      Add(*child, u"VALUE", MatchImageAttribute(*child, u"VALUE"), false, false);
    }
  }

  void Add(const Element& e, const std::u16string& name, const std::optional<RuleMatch>& match,
           bool style_sheet, bool collected = true) {
    if (!match || !locate_.attribute) return;
    const auto where = locate_.attribute(e, name);
    if (!where) return;
    // One value may satisfy two rules (an embed's SRC): it is one reference.
    if (!seen_.insert(where->begin).second) return;
    scan_.references.push_back({match->src, match->key, *where, style_sheet, collected});
  }

  void Locate(const Element& e, std::u16string_view name, std::vector<SourceRange>& into) {
    if (!locate_.attribute) return;
    if (const auto where = locate_.attribute(e, name)) into.push_back(*where);
  }

  const SourceLocator& locate_;
  PageScan scan_;
  std::unordered_set<std::size_t> seen_;  // where each reference begins
};

}  // namespace

PageScan ScanPage(const std::shared_ptr<Element>& root, const Element* body,
                  const SourceLocator& locate) {
  Scanner scanner(locate);
  if (!root) return scanner.Result();
  // Documents nest deeper than the machine stack allows: an explicit stack.
  struct Pending {
    std::shared_ptr<Element> element;
    bool in_body;
  };
  std::vector<Pending> stack{{root, root.get() == body}};
  while (!stack.empty()) {
    Pending p = std::move(stack.back());
    stack.pop_back();
    scanner.Visit(*p.element, p.in_body);
    const auto children = p.element->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (*it) stack.push_back({*it, p.in_body || it->get() == body});
    }
  }
  return scanner.Result();
}

}  // namespace corabind::mail
