#include "platform/html/html_document.h"

#include <gtest/gtest.h>

#include "core/failure.h"

namespace corabind::html {
namespace {

std::shared_ptr<HtmlElement> First(const std::string& html, std::u16string_view tag) {
  auto element = ParseHtml(html)->ElementByTagName(tag, 0);
  if (!element) throw std::runtime_error("no element");
  return element;
}

TEST(HtmlDocumentTest, ReadsAttributesAsInterpretedAndAsWritten) {
  struct Case {
    std::string html;
    std::u16string tag;
    std::u16string name;
    Variant flags0;
    Variant flags2;
  };
  const Variant null{Null{}};
  const Case cases[] = {
      {R"(<img src="a&amp;b.gif">)", u"img", u"SRC", u"a&b.gif", u"a&amp;b.gif"},
      {R"(<img src=plain&copy>)", u"img", u"Src", u"plain\u00A9", u"plain&copy"},
      {R"(<table><td background="bg.gif">)", u"td", u"BACKGROUND", u"bg.gif", u"bg.gif"},
      {R"(<img alt="">)", u"img", u"SRC", null, null},
      {R"(<img src="">)", u"img", u"SRC", u"", u""},
      {R"(<img>)", u"img", u"", null, null},
      {R"(<input checked>)", u"input", u"CHECKED", Variant::Boolean(true), u""},
      {R"(<input>)", u"input", u"CHECKED", Variant::Boolean(false), null},
      {R"(<input CHECKED = "on" >)", u"input", u"checked", Variant::Boolean(true), u"on"},
      {R"(<option selected=false>)", u"option", u"SELECTED", Variant::Boolean(true), u"false"},
      {R"(<input size=" 12px">)", u"input", u"SIZE", std::int32_t{12}, u" 12px"},
      {R"(<input maxlength="+7">)", u"input", u"MAXLENGTH", std::int32_t{7}, u"+7"},
      {R"(<input size="abc">)", u"input", u"SIZE", null, u"abc"},
      {R"(<input size="2147483647">)", u"input", u"SIZE", std::int32_t{2147483647}, u"2147483647"},
      {R"(<input size="2147483648">)", u"input", u"SIZE", null, u"2147483648"},
      {R"(<embed type="Application/X-Shockwave-Flash">)", u"embed", u"TYPE",
       u"Application/X-Shockwave-Flash", u"Application/X-Shockwave-Flash"},
      // A later duplicate is dropped by the parser.
      {R"(<img src="one" src="two">)", u"img", u"SRC", u"one", u"one"},
      {R"(<svg><a xlink:href="#t"></a></svg>)", u"a", u"XLINK:HREF", u"#t", u"#t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    const auto e = First(c.html, c.tag);
    EXPECT_EQ(e->getAttribute(c.name, 0), c.flags0);
    EXPECT_EQ(e->getAttribute(c.name, 2), c.flags2);
  }
}

TEST(HtmlDocumentTest, SerialisesInnerAndOuterMarkup) {
  struct Case {
    std::string html;
    std::u16string tag;
    std::u16string inner;
    std::u16string outer;
  };
  const Case cases[] = {
      {"<p id=x>a &amp; b &lt;c&gt; &nbsp;\"q\"</p>", u"p", u"a &amp; b &lt;c&gt; &nbsp;\"q\"",
       u"<p id=\"x\">a &amp; b &lt;c&gt; &nbsp;\"q\"</p>"},
      {"<div title='a\"b&amp;c<d>'>x</div>", u"div", u"x",
       u"<div title=\"a&quot;b&amp;c&lt;d&gt;\">x</div>"},
      {"<p>a<br>b<img src=x.gif>c<input disabled></p>", u"p",
       u"a<br>b<img src=\"x.gif\">c<input disabled=\"\">",
       u"<p>a<br>b<img src=\"x.gif\">c<input disabled=\"\"></p>"},
      {"<script>if (a < b && c) x();</script>", u"script", u"if (a < b && c) x();",
       u"<script>if (a < b && c) x();</script>"},
      {"<textarea>a &lt; b</textarea>", u"textarea", u"a &lt; b", u"<textarea>a &lt; b</textarea>"},
      {"<select><option value=1>a<option selected>b</select>", u"select",
       u"<option value=\"1\">a</option><option selected=\"\">b</option>",
       u"<select><option value=\"1\">a</option><option selected=\"\">b</option></select>"},
      {"<div><!-- note --><b>x<i>y</i></b></div>", u"div", u"<!-- note --><b>x<i>y</i></b>",
       u"<div><!-- note --><b>x<i>y</i></b></div>"},
      {"<div><svg viewbox='0 0 1 1'><foreignobject></foreignobject></svg></div>", u"div",
       u"<svg viewBox=\"0 0 1 1\"><foreignObject></foreignObject></svg>",
       u"<div><svg viewBox=\"0 0 1 1\"><foreignObject></foreignObject></svg></div>"},
      {"<plaintext><b>&amp;", u"plaintext", u"<b>&amp;", u"<plaintext><b>&amp;</plaintext>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    const auto e = First(c.html, c.tag);
    EXPECT_EQ(e->innerHTML(), c.inner);
    EXPECT_EQ(e->outerHTML(), c.outer);
  }
}

TEST(HtmlDocumentTest, GivesTagNamesAndChildElementsInOrder) {
  const auto doc = ParseHtml(
      "<body><Form id=f>text<INPUT type=text><!--c--><textarea></textarea><select><option>"
      "<option></select><custom-tag></custom-tag><svg><foreignObject/></svg></form></body>");
  const auto form = doc->ElementById(u"f");
  ASSERT_TRUE(form);
  EXPECT_EQ(form->tagName(), u"FORM");
  std::vector<std::u16string> names;
  for (const auto& child : form->children()) names.push_back(child->tagName());
  EXPECT_EQ(names,
            (std::vector<std::u16string>{u"INPUT", u"TEXTAREA", u"SELECT", u"CUSTOM-TAG", u"svg"}));
  EXPECT_EQ(form->children()[2]->children().size(), 2u);
  EXPECT_EQ(form->children()[4]->children()[0]->tagName(), u"foreignObject");
  EXPECT_TRUE(form->children()[0]->children().empty());
}

TEST(HtmlDocumentTest, FindsElementsForHosts) {
  const auto doc = ParseHtml(
      "<html><head><title>t</title></head><body><p id=a>1</p><P id=b>2</P>"
      "<template><p id=c></p></template></body></html>");
  EXPECT_EQ(doc->root()->tagName(), u"HTML");
  EXPECT_EQ(doc->body()->tagName(), u"BODY");
  EXPECT_EQ(doc->CountByTagName(u"p"), 2u);
  EXPECT_EQ(doc->ElementByTagName(u"P", 1)->getAttribute(u"id", 0), Variant(u"b"));
  EXPECT_EQ(doc->ElementById(u"a")->innerHTML(), u"1");
  EXPECT_EQ(doc->ElementById(u"c"), nullptr);
  EXPECT_EQ(ParseHtml("<frameset></frameset>")->body(), nullptr);

  const auto radio = ParseElement(u"<input type=radio name=a>");
  EXPECT_EQ(radio->tagName(), u"INPUT");
  EXPECT_EQ(radio->getAttribute(u"NAME", 0), Variant(u"a"));
  EXPECT_EQ(ParseElement("text <td>x</td> <b>y</b>")->tagName(), u"B");
  EXPECT_THROW(ParseElement("only text"), Failure);
}

TEST(HtmlDocumentTest, ElementsOutliveTheirDocumentHandle) {
  std::shared_ptr<Element> kept;
  {
    const auto doc = ParseHtml("<p><b title=t>x</b></p>");
    kept = doc->ElementByTagName(u"p", 0)->children().at(0);
  }
  EXPECT_EQ(kept->outerHTML(), u"<b title=\"t\">x</b>");
}

TEST(HtmlDocumentTest, ListsStyleSheetsOfBothKindsInDocumentOrder) {
  const auto doc = ParseHtml(
      "<head><link rel=stylesheet href='a.css?x=1&amp;y=2'><style>p{}</style>"
      "<link rel='Alternate StyleSheet' href=b.css><link rel=icon href=i.ico>"
      "<link rel=stylesheet><link rel=stylesheets href=no.css></head>"
      "<body><style></style><template><style></style></template>"
      "<link rel=STYLESHEET href=c.css></body>");
  const auto sheets = doc->styleSheets();
  std::vector<Variant> hrefs;
  for (std::int32_t i = 0; i < sheets->length(); ++i) hrefs.push_back(sheets->item(i)->href());
  // The location the attribute means, character references decoded.
  EXPECT_EQ(hrefs, (std::vector<Variant>{u"a.css?x=1&y=2", u"", u"b.css", u"", u"c.css"}));
  EXPECT_THROW(sheets->item(5), Failure);
  EXPECT_THROW(sheets->item(-1), Failure);
}

}  // namespace
}  // namespace corabind::html
