// Everything in an HTML page that the mail writer may change, found in one
// walk over the parsed document: the references to embed (by the same rules
// as the collectors of GetImages, plus a Flash object's movie parameter), the
// CSS written inline, and the charset the page declares.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corabind {
class Element;
}

namespace corabind::mail {

// Byte offsets of a stretch of the page's source.
struct SourceRange {
  std::size_t begin, end;
};

// Where the parser found things in the source it parsed. `attribute` gives
// an attribute's value as written (quotes excluded), `text` the text of a
// style element; either gives nothing when it does not know.
struct SourceLocator {
  std::function<std::optional<SourceRange>(const Element&, std::u16string_view name)> attribute;
  std::function<std::optional<SourceRange>(const Element&)> text;
};

struct PageReference {
  std::u16string src;  // the value as the document model interprets it
  std::u16string key;  // the value as written: what GetImages files it under
  SourceRange where;   // the value as written, in the source
  bool style_sheet;    // a linked style sheet, which must be sent as text/css
  bool collected;      // GetImages embeds it too (a movie parameter it does not)
};

// CSS written in the page: a style element's text or a style attribute.
struct InlineCss {
  SourceRange where;
  // An attribute's value with its character references undone (UTF-8);
  // nothing for a style element, whose text is read as written.
  std::optional<std::string> value;
};

struct PageScan {
  std::vector<PageReference> references;    // document order
  std::vector<InlineCss> css;               // document order
  std::vector<SourceRange> charset_labels;  // <meta charset>
  std::vector<SourceRange> content_types;   // <meta http-equiv=content-type content>
};

// Walks `root` and its descendants once, in document order. Images and Flash
// are looked for inside `body` only, as GetImages does; style sheets, inline
// CSS and charset declarations anywhere.
PageScan ScanPage(const std::shared_ptr<Element>& root, const Element* body,
                  const SourceLocator& locate);

}  // namespace corabind::mail
