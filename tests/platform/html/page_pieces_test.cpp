#include "platform/html/page_pieces.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/html/parser_helper.h"

namespace corabind::html {
namespace {

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// A long page cut into pieces parses into the very tree of one parse, byte
// for byte, source offsets included; markup whose tree builder state the
// tags do not show is not cut at all, or not past that point.
TEST(PagePiecesTest, PiecesJoinIntoTheTreeOfOneParse) {
  const std::string block = "<p class=a>Text with <b>bold</b> &amp; <img src=\"i.png\"></p>\n";
  const std::string body = Repeat(block, 40);
  struct Case {
    std::string name;
    std::string html;
    bool cut;
  };
  const Case cases[] = {
      {"plain blocks",
       "<!DOCTYPE html><html><head><title>t</title></head><body>" + body + "</body></html>\n",
       true},
      {"tables in no-quirks mode",
       "<!doctype  HTML ><body>" + Repeat("<table><tr><td>x</td></tr></table>" + block, 30), true},
      {"tables in quirks mode", "<html><body>" + body + "<table><tr><td>x</td></tr></table>",
       false},
      {"head content and comments",
       "<head><style>p{}</style><!-- <body> --></head><body bgcolor=red>" + body + "<!-- end -->",
       true},
      {"raw text holding tags",
       "<body>" + Repeat("<textarea><div></textarea><title></p></title>" + block, 30), true},
      {"a paragraph left open", "<body>" + Repeat("<p>text", 200), false},
      {"an unclosed formatting element", "<body><b>" + body + "</b>", false},
      {"misnested formatting", "<body>" + body + Repeat("<b><p>x</b></p>" + block, 30), true},
      {"table inside a paragraph",
       "<!DOCTYPE html><body>" + body +
           Repeat("<p><table><tr><td>x</td></tr></table></p>" + block, 30),
       true},
      {"a second body tag", "<body>" + body + "<body background=x.png>" + body, false},
      {"a late html tag", "<body>" + body + "<html lang=ko>" + body, false},
      {"a frameset late", "<body>" + body + "<frameset></frameset>", false},
      {"svg", "<body>" + body + "<svg><style><body x=1></style></svg>" + body, false},
      {"comment after the body", "<body>" + body + "</body><!-- after -->", false},
      {"text after the html", "<body>" + body + "</body></html>after", false},
      {"white space after the html", "<body>" + body + "</body>\n</html>\n\n", true},
      {"script late", "<body>" + body + "<script>document.write('<body>')</script>" + body, true},
      {"nested anchors",
       "<body>" + body + Repeat("<a href=1><div><a href=2>x</a></div></a>" + block, 30), true},
      {"template", "<body>" + Repeat("<template><p>t</p></template>" + block, 30), false},
      {"no body tag", Repeat(block, 60), false},
      {"menuitem", "<body>" + body + "<menuitem>x" + body, true},
  };
  constexpr std::size_t kPiece = 512;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(!PieceStarts(c.html, kPiece).empty(), c.cut);
    EXPECT_EQ(ParseWireInHelper(c.html, ParseMode::kDocument, {}, kPiece),
              ParseWireInHelper(c.html, ParseMode::kDocument, {}, 0));
  }
}

}  // namespace
}  // namespace corabind::html
