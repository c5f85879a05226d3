// The standard message reads a page through html::AttributedPage, which
// keeps only part of the tree: what ScanPage finds and what PageText says
// must be exactly what they give over the whole tree of the same parse.
#include <gtest/gtest.h>

#include <utility>

#include "core/text.h"
#include "mail/page_references.h"
#include "mail/plain_text.h"
#include "platform/html/html_document.h"
#include "platform/html/parser_helper.h"
#include "platform/html/tree_wire.h"
#include "support/expect_failure.h"

namespace corabind::mail {
namespace {

SourceLocator Locator() {
  const auto convert = [](std::optional<html::SourceRange> r) -> std::optional<SourceRange> {
    if (!r) return std::nullopt;
    return SourceRange{r->begin, r->end};
  };
  return {[convert](const Element& e, std::u16string_view name) {
            return convert(html::AttributeSource(e, name));
          },
          [convert](const Element& e) { return convert(html::TextSource(e)); }};
}

// Everything a scan found, one line each, in order.
std::string Described(const PageScan& scan) {
  std::string out;
  const auto range = [](const SourceRange& r) {
    return std::to_string(r.begin) + "-" + std::to_string(r.end);
  };
  for (const PageReference& r : scan.references) {
    out += "ref " + ToUtf8(r.src) + " " + ToUtf8(r.key) + " " + range(r.where) +
           (r.style_sheet ? " sheet" : "") + (r.collected ? "" : " uncollected") + "\n";
  }
  for (const InlineCss& css : scan.css)
    out += "css " + range(css.where) + " " + css.value.value_or("-") + "\n";
  for (const SourceRange& r : scan.charset_labels) out += "charset " + range(r) + "\n";
  for (const SourceRange& r : scan.content_types) out += "type " + range(r) + "\n";
  return out;
}

std::string TextOf(const std::function<void(const html::HtmlDocument::NodeWalk&)>& walk) {
  return PageText([&](ContentVisitor& visitor) {
    walk({[&](const html::HtmlElement& e) { visitor.Open(e.localName(), e); },
          [&](const html::HtmlElement& e) { visitor.Close(e.localName()); },
          [&](std::u16string_view text) { visitor.Text(text); }});
  });
}

TEST(AttributedPageTest, ScansAndReadsAsTheWholeTree) {
  struct Case {
    const char* name;
    const char* markup;
    html::ParseMode mode = html::ParseMode::kDocument;
  };
  const Case cases[] = {
      {"template contents left out",
       "<body><p>a<template><img src=t.png alt=T><p style='background:url(u.png)'>in</p>"
       "</template><img src=b.png alt=B></p><template class=x><b>in</b></template>z</body>"},
      {"object params under an attribute-less wrapper",
       "<body><div><span><object classid='clsid:D27CDB6E-AE6D-11cf-96B8-444553540000' "
       "movie=a.swf><param name=movie value=m.swf><div><param name=movie value=deep.swf>"
       "</div><param><b>fallback</b></object></span></div><object><param name=movie "
       "value=n.swf></object></body>"},
      {"svg style with element children",
       "<body><svg><style>a{fill:url(one.png)}<g>x</g>b{fill:url(two.png)}</style>"
       "<style>c{fill:url(three.png)}</style><image href=i.png /></svg></body>"},
      {"style with several children",
       "<head><style>p{background:url(h.png)}</style></head><body><svg><style>a{}<!-- c -->"
       "b{}</style></svg><math><style>q{}</style></math></body>"},
      {"nested hidden elements",
       "<body><div hidden><p>gone<span>also gone</span></p></div><p style='DISPLAY: none'>"
       "no<b>t</b></p><div><div><p>shown <i>here</i></p><p hidden>but <b>not</b></p></div>"
       "</div><ol start=3><li>c<li>d<ul><li>e</ul></ol><a href='http://x.test/'>link</a>"
       "<table><tr><td>1<td>2</table><img alt='an image'><pre>  keep\n  this</pre></body>"},
      {"frameset without a body",
       "<html><head><meta charset=latin1><link rel=stylesheet href=s.css><style>"
       "f{background:url(f.png)}</style></head><frameset><frame src=a.html>"
       "<noframes>x</noframes></frameset></html>"},
      {"charset declarations and links",
       "<html><head><meta http-equiv=Content-Type content='text/html; charset=latin1'>"
       "<title>t</title></head><body background=bg.png><table background=t.png><tr>"
       "<td background=c.png>x</td></tr></table><embed type=application/x-shockwave-flash "
       "src=e.swf><link rel=STYLESHEET href=late.css></body></html>after"},
      {"fragment", "<p>one <img src=f.png alt=F></p><template><img src=g.png></template>two",
       html::ParseMode::kFragment},
      {"no markup at all", "plain words"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string wire = html::ParseWireInHelper(c.markup, c.mode);
    const auto whole = std::make_shared<html::HtmlDocument>(html::DecodeTree(wire));
    const html::AttributedPage page(wire);
    const auto& reduced = page.document();
    EXPECT_LE(reduced->tree().nodes.size(), whole->tree().nodes.size());

    const SourceLocator locate = Locator();
    EXPECT_EQ(Described(ScanPage(reduced->root(), reduced->body().get(), locate)),
              Described(ScanPage(whole->root(), whole->body().get(), locate)));
    EXPECT_EQ(reduced->styleSheets()->length(), whole->styleSheets()->length());

    const std::string text = TextOf([&](const html::HtmlDocument::NodeWalk& walk) {
      const auto from = whole->body() ? whole->body() : whole->root();
      if (from) whole->Walk(*from, walk);
    });
    EXPECT_EQ(TextOf([&](const html::HtmlDocument::NodeWalk& walk) { page.WalkContent(walk); }),
              text);
  }
}

// A long page keeps a small share of its nodes: the attribute-less
// paragraphs and their text are walked from the bytes, not kept.
TEST(AttributedPageTest, KeepsOnlyTheElementsWithAttributes) {
  std::string markup = "<body>";
  for (int i = 0; i < 100; ++i) markup += "<p>Some <b>bold</b> text</p><img src=a.png>";
  const std::string wire = html::ParseWireInHelper(markup, html::ParseMode::kDocument);
  const html::AttributedPage page(wire);
  // The container, html, head, body and the images.
  EXPECT_EQ(page.document()->tree().nodes.size(), 4u + 100u);
  EXPECT_EQ(page.document()->CountByTagName(u"p"), 0u);
}

// The bytes come in document order: a node whose parent was closed before
// it is a damaged tree, however it is read.
TEST(AttributedPageTest, RefusesANodeUnderAnElementAlreadyClosed) {
  html::StringWireWriter w;
  w.Begin();
  for (const auto& [parent, name] :
       {std::pair{0u, "html"}, {1u, "head"}, {1u, "body"}, {2u, "meta"}}) {
    w.NodeHeader(html::NodeKind::kElement, html::Namespace::kHtml, parent);
    w.String(name);
    w.Varint(0);  // no attributes
  }
  w.End(4);
  for (const html::TreeDetail detail : {html::TreeDetail::kWhole, html::TreeDetail::kAttributed}) {
    testing::ExpectFailure(err::kInvalidCall, [&] { html::DecodeTree(w.out, detail); });
  }
  testing::ExpectFailure(err::kInvalidCall, [&] { html::WalkWire(w.out, 0, {}); });
}

}  // namespace
}  // namespace corabind::mail
