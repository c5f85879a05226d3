#include "mail/plain_text.h"

#include <gtest/gtest.h>

#include "core/text.h"
#include "platform/html/html_document.h"

namespace corabind::mail {
namespace {

std::string TextOf(const std::string& markup) {
  const auto document = html::ParseHtml(markup);
  return PageText([&](ContentVisitor& visitor) {
    document->Walk(*document->body(),
                   {[&](const html::HtmlElement& e) { visitor.Open(e.localName(), e); },
                    [&](const html::HtmlElement& e) { visitor.Close(e.localName()); },
                    [&](std::u16string_view text) { visitor.Text(text); }});
  });
}

// What a format=flowed reader shows: stuffing taken away, soft-broken lines
// joined (less the added space, with delsp).
std::string Unflowed(const FlowedText& flowed) {
  std::string out, line;
  std::size_t from = 0;
  const std::string& text = flowed.text;
  while (from < text.size()) {
    const std::size_t lf = text.find('\n', from);
    std::string piece = text.substr(from, lf - from);
    from = lf + 1;
    if (!piece.empty() && piece[0] == ' ') piece.erase(0, 1);
    if (!piece.empty() && piece.back() == ' ') {
      if (flowed.delsp) piece.pop_back();
      line += piece;
      continue;
    }
    out += line + piece + "\n";
    line.clear();
  }
  return out;
}

TEST(PlainTextTest, ReadsThePageInOrderWithoutMarkup) {
  struct Case {
    std::string html, text;
  };
  const Case cases[] = {
      {"<h1>Title</h1><p>One\n  two</p><p>Three<br>four</p>", "Title\n\nOne two\n\nThree\nfour\n"},
      {"<ul><li>a<li>b<ul><li>c</ul></ul><ol start=3><li>x<li>y</ol>",
       "- a\n- b\n  - c\n\n3. x\n4. y\n"},
      // The count goes on past the largest start a page can write.
      {"<ol start=2147483647><li>x<li>y</ol>", "2147483647. x\n2147483648. y\n"},
      {"<table><tr><th>Name<th>Age</tr><tr><td>Kim</td><td><p>30</p></td></tr></table>",
       "Name | Age\nKim\n\n30\n"},
      {"<p>See <a href='https://x.example/a'>the list</a> or "
       "<a href='https://x.example/b'>https://x.example/b</a>, "
       "<a href='mailto:k@x.example'>k@x.example</a>, <a href='#top'>up</a></p>",
       "See the list <https://x.example/a> or https://x.example/b, k@x.example, up\n"},
      {"<p><img src=a.png alt='A cat'><img src=b.png alt=''> sleeps</p>", "A cat sleeps\n"},
      {"<p>Shown<script>var x = 1;</script><style>p{}</style></p>"
       "<div style='display: none'>preview</div><p hidden>gone</p>",
       "Shown\n"},
      {"<pre>a  b\n  c</pre>", "a  b\n  c\n"},
      {"<p>&lt;b&gt; &amp; &nbsp;x</p>", "<b> & x\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextOf("<!DOCTYPE html><html><head><title>No</title></head><body>" + c.html), c.text)
        << c.html;
  }
}

TEST(PlainTextTest, FlowsLongLinesSoEveryReaderGetsTheTextBack) {
  const std::string words =
      "The cherry trees along the harbour wall are out, and the market "
      "moves back outdoors from the first weekend of April, rain or shine.";
  const std::string url = "https://www.example.com/" + std::string(90, 'x');
  // Chinese has no spaces: it breaks between characters, never inside one.
  std::string chinese;
  for (int i = 0; i < 60; ++i) chinese += "\xE6\x98\xA5\xE5\xA4\xA9";  // 春天
  struct Case {
    std::string text;
    bool delsp;
    std::vector<std::string> starts;  // of the written lines, in order
  };
  const Case cases[] = {
      {words + "\n", false, {"The cherry", "outdoors"}},
      {"From here\n>quoted\n a space\nend  \n",
       false,
       {" From here", " >quoted", "  a space", "end"}},
      {"see " + url + "\n", false, {"see ", "https://"}},
      {chinese + "\n", true, {"\xE6\x98\xA5", "\xE5\xA4\xA9"}},
      {"> " + words + "\n", false, {" > The cherry", "back"}},
  };
  for (const Case& c : cases) {
    const FlowedText flowed = Flowed(c.text);
    EXPECT_EQ(flowed.delsp, c.delsp) << c.text;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < flowed.text.size();) {
      const std::size_t lf = flowed.text.find('\n', at);
      lines.push_back(flowed.text.substr(at, lf - at));
      at = lf + 1;
    }
    ASSERT_EQ(lines.size(), c.starts.size()) << flowed.text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_TRUE(lines[i].starts_with(c.starts[i])) << i << ": " << flowed.text;
      EXPECT_FALSE(FindInvalidUtf8(lines[i]).has_value()) << lines[i];
      if (!lines[i].starts_with("see ") && lines[i].find(url) == std::string::npos) {
        EXPECT_LE(FromUtf8(lines[i]).size(), kFlowedWidth) << lines[i];
      }
    }
    std::string expected = c.text;
    expected.replace(expected.find_last_not_of(" \n") + 1, std::string::npos, "\n");
    EXPECT_EQ(Unflowed(flowed), expected);
  }
}

}  // namespace
}  // namespace corabind::mail
