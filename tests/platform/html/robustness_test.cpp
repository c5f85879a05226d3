#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/failure.h"
#include "platform/html/html_document.h"
#include "support/expect_failure.h"

namespace corabind::html {
namespace {

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// Large hostile inputs finish without a crash: refused with failure 5 when
// nested too deep, parsed otherwise.
TEST(HtmlRobustnessTest, HostileInputIsParsedOrRefusedCleanly) {
  struct Case {
    std::string name;
    std::string html;
    bool refused;
  };
  const Case cases[] = {
      {"300k nested divs", Repeat("<div>", 300000), true},
      {"300k nested spans", Repeat("<span>", 300000), true},
      {"300k self-closed divs", Repeat("<div/>", 300000), true},
      {"200k distinct formatting elements", Repeat("<b class=x>", 200000), true},
      {"nesting just under the limit", Repeat("<div>", kMaxNestingDepth - 10), false},
      {"nesting closed as it goes", Repeat("<div><span>x</span></div>", 50000), false},
      {"100k unclosed paragraphs", Repeat("<p>x", 100000), false},
      {"100k unclosed list items", "<ul>" + Repeat("<li>x", 100000), false},
      {"50k unclosed options", "<select>" + Repeat("<option>x", 50000), false},
      {"50k unclosed cells", "<table>" + Repeat("<tr><td>x", 50000), false},
      {"svg with 50k self-closed paths", "<svg>" + Repeat("<path d=\"M0\"/>", 50000), false},
      {"tags inside comments and scripts",
       Repeat("<!--<div>--><script><div></script><textarea><div></textarea>", 20000), false},
      {"invalid UTF-8", Repeat("<p title=\"\xFF\xFE\xC0\x80\">\xED\xA0\x80\xF5x", 30000), false},
      {"NUL bytes", Repeat(std::string("<p a=\"\0\"\0>\0x", 12), 30000), false},
      {"unterminated tag", "<div title=\"" + Repeat("x", 1000000), false},
      {"unterminated comment", "<!--" + Repeat("<div>", 300000), false},
      // Markup on which the parser library fails an assertion and aborts.
      {"foreign content in a select in a table",
       "<table><td><svg><select><foreignObject><table><table>", true},
      {"template in foreign content in a select",
       "<table><svg><select><foreignObject><template></template><th>", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.refused) {
      testing::ExpectFailure(err::kInvalidCall, [&] { ParseHtml(c.html); });
      continue;
    }
    std::shared_ptr<HtmlDocument> doc;
    ASSERT_NO_THROW(doc = ParseHtml(c.html));
    ASSERT_TRUE(doc->body());
    // Serialisation walks the whole tree in a loop.
    EXPECT_FALSE(doc->root()->outerHTML().empty());
  }
}

TEST(HtmlRobustnessTest, AParserThatDiesOrCannotBeFoundIsAFailure) {
  testing::ExpectFailure(err::kInvalidCall,
                         [] { ParseElement("<svg><head><title><select><textarea></body>"); });
  const std::string helper = std::getenv("CORABIND_HTML_HELPER");
  for (const auto& [path, number] : {std::pair{"/bin/false", err::kInvalidCall},
                                     std::pair{"/nonexistent/helper", err::kInternal}}) {
    ::setenv("CORABIND_HTML_HELPER", path, 1);
    testing::ExpectFailure(number, [] { ParseHtml("<p>"); });
  }
  ::setenv("CORABIND_HTML_HELPER", helper.c_str(), 1);
  EXPECT_TRUE(ParseHtml("<p>")->body());
}

TEST(HtmlRobustnessTest, KeepsDecodedTextOfBrokenInput) {
  static constexpr char kInput[] = "<p title=\"a\xFF\">b\xC3\x28</p><i>\0</i>";
  const auto doc = ParseHtml(std::string(kInput, sizeof kInput - 1));
  const auto p = doc->ElementByTagName(u"p", 0);
  EXPECT_EQ(p->getAttribute(u"title", 0), Variant(u"a\uFFFD"));
  EXPECT_EQ(p->getAttribute(u"title", 2), Variant(u"a\uFFFD"));
  EXPECT_EQ(p->innerHTML(), u"b\uFFFD(");
  EXPECT_EQ(doc->CountByTagName(u"i"), 1u);
}

TEST(HtmlRobustnessTest, DeepButAllowedNestingSerialisesCompletely) {
  const std::size_t depth = kMaxNestingDepth - 5;
  const auto doc = ParseHtml(Repeat("<span>", depth) + "x");
  const std::u16string inner = doc->body()->innerHTML();
  EXPECT_EQ(inner.size(), depth * (6 + 7) + 1);
  EXPECT_EQ(inner.substr(inner.size() - 7), u"</span>");
}

}  // namespace
}  // namespace corabind::html
